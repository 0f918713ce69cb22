#include "controls/MessageBoxes.h"

#include <QApplication>

#include "controls/MInfoBox.h"

namespace {

class DialogPresenter : public BoxPresenter {
 public:
  int Present(const BoxRequest& r, QWidget* parent) override {
    if (r.type == BoxRequest::Type::Question) {
      MQuestionBox box(r.titleId, r.messageId, r.iconId, r.detail);
      return box.DoModal(parent);
    }
    MInfoBox box(r.titleId, r.messageId, r.iconId, r.detail);
    return box.DoModal(parent);
  }
};

DialogPresenter g_dialogs;
BoxPresenter* g_presenter = &g_dialogs;  // UI thread only

int Show(const BoxRequest& r) { return g_presenter->Present(r, QApplication::activeWindow()); }

}  // namespace

BoxPresenter* SetBoxPresenter(BoxPresenter* presenter) {
  BoxPresenter* previous = g_presenter;
  g_presenter = presenter ? presenter : &g_dialogs;
  return previous;
}

int ShowMessage(int messageId, int kind, const QString& detail) {
  BoxRequest r;
  r.messageId = messageId;
  r.detail = detail;
  if (kind == 1) {
    r.titleId = kTitleError;
    r.iconId = kIconError;
  } else if (kind == 2) {
    r.titleId = kTitleWarning;
    r.iconId = kIconWarning;
  } else {
    r.titleId = kTitleNotice;
    r.iconId = kIconNotice;
  }
  return Show(r);
}

int ShowError(int messageId) { return ShowMessage(messageId, 1); }
int ShowNotice(int messageId, const QString& detail) { return ShowMessage(messageId, 3, detail); }

int AskQuestion(int messageId, const QString& detail) {
  BoxRequest r;
  r.type = BoxRequest::Type::Question;
  r.titleId = kTitleQuestion;
  r.messageId = messageId;
  r.iconId = kIconQuestion;
  r.detail = detail;
  return Show(r);
}
