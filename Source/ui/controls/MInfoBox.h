// The program's message and question boxes: skinned, fixed-size dialogs whose
// title and message come from the string table and whose kind decides the
// title and the icon.
#pragma once

#include <QBasicTimer>
#include <QDialog>
#include <QFont>
#include <QPointer>
#include <QString>

class MButton;

// Control ids of the box buttons, and what DoModal returns.
inline constexpr int kIdOk = 1;
inline constexpr int kIdClose = 2;  // question box close button
inline constexpr int kIdYes = 6;
inline constexpr int kIdNo = 7;
inline constexpr int kIdInfoClose = 2100;
inline constexpr unsigned WM_INFOBOX_CANCEL = 1177;

// Title ids and icons of the four kinds.
inline constexpr int kTitleError = 20084, kTitleWarning = 20085, kTitleNotice = 20086,
                     kTitleQuestion = 20087;
inline constexpr int kIconNotice = 800, kIconQuestion = 801, kIconWarning = 802, kIconError = 803;

// Common look: background, icon at (16, 49), title band (draggable), message.
class MBoxBase : public QDialog {
  Q_OBJECT
 public:
  QString title() const { return title_; }
  QString message() const { return message_; }
  int iconId() const { return iconId_; }
  // Where the title is drawn, and in which font.
  QRect TitleRect() const { return titleRect_; }
  QFont TitleFont() const { return titleFont_; }
  // Where the message shows: its rectangle within the box and above the
  // buttons below it; and the font it fits there in, word-wrapped (a
  // message too long even at the smallest size is cut at the area's bottom).
  QRect MessageArea() const;
  QFont MessageFont() const;
  // Runs the box modally over |parent|; returns the id of the button that
  // closed it, 0 when closed otherwise.
  int DoModal(QWidget* parent);

 protected:
  MBoxBase(const QString& title, const QString& message, int iconId, QRect titleRect,
           QRect messageRect);
  void paintEvent(QPaintEvent*) override;
  void mousePressEvent(QMouseEvent*) override;
  void mouseMoveEvent(QMouseEvent*) override;
  void showEvent(QShowEvent*) override;
  MButton* AddButton(int id, int x, int y, QSize size, const QString& label);
  virtual void OnButton(int id);

  bool modeless_ = false;

 private:
  void PlaceOverParent();

  QString title_, message_;
  int iconId_;
  QRect titleRect_, messageRect_;
  QFont titleFont_;  // the bold font at the largest size the title fits
  QPoint dragOffset_;
  bool dragging_ = false;
};

class MInfoBox : public MBoxBase {
  Q_OBJECT
 public:
  // |detail| goes on a line of its own after the message (messageId 0: the
  // detail alone), e.g. the file a notice is about.
  MInfoBox(int titleId, int messageId, int iconId, const QString& detail = QString());
  MInfoBox();  // "View" / "Access Denied", the error icon
  // Shows the box without blocking; with |milliseconds| > 0 it closes itself
  // then. A button press also closes it. The box deletes itself when closed.
  void ShowModeless(int milliseconds, QWidget* parent);

 protected:
  void timerEvent(QTimerEvent*) override;

 private:
  void Build();
  QBasicTimer timer_;
};

// A notice shown while a long operation runs; its button tells the owner.
class MInfoBox3 : public MBoxBase {
  Q_OBJECT
 public:
  MInfoBox3(QObject* owner, int boxCode, int messageId, bool noButton);
  void ShowModeless(QWidget* parent);

 protected:
  void OnButton(int id) override;

 private:
  QPointer<QObject> owner_;
  int boxCode_;
};

class MQuestionBox : public MBoxBase {
  Q_OBJECT
 public:
  MQuestionBox(int titleId, int messageId, int iconId, const QString& detail = {});

 protected:
  void keyPressEvent(QKeyEvent*) override {}  // keys do not answer a question
};

QString StringText(int id);
