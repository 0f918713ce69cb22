#include "TopMost.h"

#include <QWidget>

namespace {

bool alwaysOnTop = false;  // UI thread

}  // namespace

bool AlwaysOnTop() { return alwaysOnTop; }

void ToggleAlwaysOnTop(QWidget* anyWidget) {
  alwaysOnTop = !alwaysOnTop;
  if (anyWidget == nullptr) return;
  QWidget* top = anyWidget->window();
  const bool visible = top->isVisible();
  // Changing a window flag hides a shown window; show it again in place.
  top->setWindowFlag(Qt::WindowStaysOnTopHint, alwaysOnTop);
  if (visible) top->show();
}
