#include "form/FormGeometry.h"

#include <algorithm>

#include "base/base.h"

QRect FormGeometry::Cell(int index) const {
  const int row = index / columns, col = index % columns;
  return QRect(kLeft + col * (cellWidth + kGapX), top + row * (cellHeight + kGapY), cellWidth, cellHeight);
}

int FormGeometry::SidePanelLeft() const { return Cell(columns - 1).right() + 1 + kGapX; }

QSize FormGeometry::ClientSize() const {
  return QSize(columns * cellWidth + columns * kGapX + kSideReserve,
               rows * cellHeight + rows * kGapY + kHeightReserve);
}

FormGeometry FormGeometry::ForLayout(int columns, int rows) {
  FormGeometry g;
  if (columns < 1 || rows < 1) {
    LogMessage("%s:%d (%d, %d)\r\n", LOGPOS, columns, rows);
    return g;
  }
  // In 64 bits: a stored 65536 x 65536 must not wrap to an empty grid.
  if (static_cast<long long>(columns) * rows > kMaxPanes) {
    // The camera link has sixteen slots; a larger stored layout shows the
    // largest grid the preferences offer.
    LogMessage("%s:%d (%d x %d)\r\n", LOGPOS, columns, rows);
    g.columns = 4;
    g.rows = 4;
    return g;
  }
  g.columns = columns;
  g.rows = rows;
  return g;
}

void FormGeometry::FitTo(const QSize& workArea) {
  if (workArea.isEmpty()) return;
  const QSize need = ClientSize();
  if (need.width() <= workArea.width() && need.height() <= workArea.height()) return;
  // A work area too small for the grid still gives cells of at least a pixel.
  cellWidth = std::max(1, (workArea.width() - (columns * kGapX + kSideReserve)) / columns);
  cellHeight = std::max(1, (workArea.height() - (rows * kGapY + kHeightReserve)) / rows);
}
