// A skinned label: blue text on the caller's background unless told
// otherwise, in the program's plain font unless given one.
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

 private:
  int id_;
  QColor text_, background_;
};
