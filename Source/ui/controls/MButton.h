// A skinned push button: drawn from its face images (normal, pressed, hover,
// disabled) at the size of the normal face, identified by its control id.
#pragma once

#include <QAbstractButton>
#include <QPixmap>

class MButton : public QAbstractButton {
  Q_OBJECT
 public:
  MButton(QWidget* parent, int id, int x, int y, const QPixmap& normal, const QPixmap& pressed,
          const QPixmap& hover, const QPixmap& disabled = QPixmap());
  // A button whose faces are drawn in code with a label.
  static MButton* Labelled(QWidget* parent, int id, int x, int y, QSize size, const QString& label);

  int id() const { return id_; }
  QSize sizeHint() const override { return normal_.size(); }

 protected:
  void paintEvent(QPaintEvent*) override;
  void enterEvent(QEnterEvent*) override;
  void leaveEvent(QEvent*) override;

 private:
  int id_;
  bool hover_ = false;
  QPixmap normal_, pressed_, hover_face_, disabled_;
};
