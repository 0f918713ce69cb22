// Geometry of the main form's grid: X x Y cells of W x H pixels with a
// 15-pixel title strip above each, the side panel column to their right, and
// the client size the whole form needs. Pane index = row x X + col.
#pragma once

#include <QRect>
#include <QSize>

struct FormGeometry {
  static constexpr int kMaxPanes = 16;
  static constexpr int kDefaultCellWidth = 320;
  static constexpr int kDefaultCellHeight = 240;
  static constexpr int kLeft = 8;
  static constexpr int kTopNormal = 44;
  static constexpr int kGapX = 5;
  static constexpr int kGapY = 15;       // the title strip above a cell
  static constexpr int kSideReserve = 171;  // side panel and edges
  static constexpr int kHeightReserve = 47;  // title bar and bottom edge
  static constexpr int kSidePanelWidth = 160;

  int columns = 2;
  int rows = 2;
  int cellWidth = kDefaultCellWidth;
  int cellHeight = kDefaultCellHeight;
  int top = kTopNormal;

  int PaneCount() const { return columns * rows; }
  QRect Cell(int index) const;
  // 140 pixels with the designed 320-pixel cells, 120 with any other width.
  int TitleWidth() const { return cellWidth == kDefaultCellWidth ? 140 : 120; }
  // Left edge of the side panel: right of the last column plus 5.
  int SidePanelLeft() const;
  // Client size of the form at start-up.
  QSize ClientSize() const;

  // The grid for a stored layout, any X and Y: X or Y below 1 gives 2 x 2;
  // more than 16 panes (counted without overflow) gives 4 x 4; both logged.
  static FormGeometry ForLayout(int columns, int rows);
  // Shrinks (or grows) the cells so that the form fills |workArea| when its
  // start-up size with 320 x 240 cells does not fit in it.
  void FitTo(const QSize& workArea);
};
