// The process-wide message helpers. Every box the program shows goes through
// one presenter, so tests can replace it with one that records and answers.
#pragma once

#include <QString>

class QWidget;

struct BoxRequest {
  enum class Type { Info, Question };
  Type type = Type::Info;
  int titleId = 0;
  int messageId = 0;
  int iconId = 0;
  QString detail;
};

class BoxPresenter {
 public:
  virtual ~BoxPresenter() = default;
  // Shows the box modally over |parent|; returns the id of the button that
  // closed it (6 yes, 7 no, 2 close, 1 OK), 0 when closed otherwise.
  virtual int Present(const BoxRequest& request, QWidget* parent) = 0;
};

// Replaces the presenter (nullptr restores the real boxes). Returns the
// previous one.
BoxPresenter* SetBoxPresenter(BoxPresenter* presenter);

// kind 1: error, kind 2: warning, any other kind: notice.
// |detail| goes on a line of its own after the message (the file a notice
// is about, the reason of an error); messageId 0 shows the detail alone.
int ShowMessage(int messageId, int kind, const QString& detail = QString());
int ShowError(int messageId);
int ShowNotice(int messageId, const QString& detail = QString());
// Returns the question box's result: 6 for yes, 7 for no, 2 or 0 otherwise.
int AskQuestion(int messageId, const QString& detail = {});
