// A skinned track bar on a background image: horizontal when the image is
// at least as wide as high, else vertical. The thumb travels between 7
// pixels from each end, one step per |pixelsPerStep| pixels (ControlMath).
// A press and moves with the button held set the value from the pointer;
// the release reports it with released(id, value).
#pragma once

#include <QPixmap>
#include <QWidget>

#include "controls/ControlMath.h"

class MTrackBar : public QWidget {
  Q_OBJECT
 public:
  MTrackBar(QWidget* parent, int id, int x, int y, const QPixmap& background);
  // A bar of |size| with the skin's background.
  static MTrackBar* Drawn(QWidget* parent, int id, int x, int y, const QSize& size);

  int id() const { return id_; }
  bool Horizontal() const { return horizontal_; }
  // Range 0..|maximum|, |pixelsPerStep| pixels per value.
  void SetRange(int maximum, int pixelsPerStep);
  TrackRange Range() const { return range_; }
  // Sets the value (clamped to the range); no notice.
  void SetPos(int value);
  int Pos() const { return value_; }
  // The thumb's pixel along the bar.
  int ThumbPixel() const { return TrackPixelOf(range_, value_, Length()); }
  QSize sizeHint() const override { return background_.size(); }

 signals:
  void released(int id, int value);

 protected:
  void paintEvent(QPaintEvent*) override;
  void mousePressEvent(QMouseEvent*) override;
  void mouseMoveEvent(QMouseEvent*) override;
  void mouseReleaseEvent(QMouseEvent*) override;

 private:
  int Length() const { return horizontal_ ? width() : height(); }
  void SetFromPointer(const QPointF& at);

  int id_;
  QPixmap background_;
  bool horizontal_;
  bool dragging_ = false;
  TrackRange range_;
  int value_ = 0;
};
