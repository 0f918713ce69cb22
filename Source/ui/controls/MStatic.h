// A skinned label: blue text on the caller's background unless told
// otherwise, in the program's plain font unless given one.
//
// Its text is drawn on one line at the largest size of its designed font
// that fits the label's width, never cut: the label refits when its text is
// set through it, when it is resized, and before it is drawn when its text
// was set through a plain QLabel pointer (or it was resized while hidden). A font set from outside becomes
// the designed font.
#pragma once

#include <QColor>
#include <QFont>
#include <QLabel>

class MStatic : public QLabel {
  Q_OBJECT
 public:
  static inline const QColor kDefaultText{0, 0, 255};

  MStatic(QWidget* parent, int id, const QRect& rect, const QColor& background,
          const QColor& text = kDefaultText, const QFont& font = QFont());

  int id() const { return id_; }
  void SetColors(const QColor& text, const QColor& background);
  QColor TextColour() const { return text_; }
  QColor Background() const { return background_; }
  // Shows |text| and refits it (hides QLabel::setText for callers holding
  // an MStatic).
  void setText(const QString& text);
  QFont DesignedFont() const { return designed_; }

 protected:
  void resizeEvent(QResizeEvent*) override;
  void changeEvent(QEvent*) override;
  void paintEvent(QPaintEvent*) override;

 private:
  void Refit();

  int id_;
  QColor text_, background_;
  QFont designed_;
  QFont fitted_;        // the font Refit last gave the label
  QString fittedText_;  // the text and width it was fitted for
  int fittedWidth_ = 0;
  bool fitting_ = false;
};
