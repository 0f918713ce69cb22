// Skinned check boxes and their radio group.
//
// A check box reports a left-button release on it with commanded(id); it
// does not toggle itself: the owner decides and calls SetCheck. The owner
// can make it busy for a while after a toggle (BusyLock): clicks are then
// ignored.
#pragma once

#include <QAbstractButton>
#include <QColor>
#include <QPixmap>
#include <QPointer>
#include <vector>

#include "controls/BusyLock.h"

class MCheckBox : public QAbstractButton {
  Q_OBJECT
 public:
  // A box without label, the size of its off face; no disabled face.
  MCheckBox(QWidget* parent, int id, int x, int y, const QPixmap& off, const QPixmap& on);
  // A box with a label in |rect| filled with |background|; the label is
  // drawn in black from 15 pixels right of the rectangle's left edge.
  MCheckBox(const QString& label, QWidget* parent, int id, const QRect& rect, const QColor& background,
            const QPixmap& off, const QPixmap& on, const QPixmap& disabled);
  // A labelled box with faces drawn by the skin.
  static MCheckBox* Drawn(const QString& label, QWidget* parent, int id, const QRect& rect,
                          const QColor& background);

  int id() const { return id_; }
  void SetCheck(bool on);
  bool Check() const { return on_; }
  void SetBusy(int milliseconds) { busy_.Start(this, milliseconds); }
  bool Busy() const { return busy_.Busy(); }
  void SetTooltip(const QString& text) { setToolTip(text); }
  QString Label() const { return label_; }
  QSize sizeHint() const override { return size(); }

 signals:
  void commanded(int id);

 protected:
  void paintEvent(QPaintEvent*) override;
  void mouseReleaseEvent(QMouseEvent*) override;
  void keyReleaseEvent(QKeyEvent*) override;
  void timerEvent(QTimerEvent*) override;

 private:
  int id_;
  bool on_ = false;
  QString label_;
  QColor background_;
  QPixmap off_, onFace_, disabled_;
  BusyLock busy_;
};

// Check boxes acting as radio buttons. The group owns its boxes: they go
// away with it.
class MCheckBoxGroup {
 public:
  MCheckBoxGroup() = default;
  MCheckBoxGroup(const MCheckBoxGroup&) = delete;
  MCheckBoxGroup& operator=(const MCheckBoxGroup&) = delete;
  ~MCheckBoxGroup();

  void Add(MCheckBox* box);
  // Turns on the box with control id |id| and every other box off.
  void Select(int id);
  // The id of the box that is on, -1 when none.
  int Selected() const;
  void EnableAll(bool on);
  const std::vector<QPointer<MCheckBox>>& Boxes() const { return boxes_; }

 private:
  std::vector<QPointer<MCheckBox>> boxes_;
};
