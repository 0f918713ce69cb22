#include "form/FormLayout.h"

#include <algorithm>

#include "base/base.h"

EnlargedPlace PlaceEnlarged(const FormGeometry& g, int index) {
  EnlargedPlace p;
  const int x = g.columns, count = g.PaneCount();
  if (g.columns < 2 || g.rows < 2 || index < 0 || index >= count) return p;
  const int row = index / x, col = index % x;
  // The last column reaches left, the last row upward: the place never
  // leaves the grid, and never covers a pane of another row.
  const int left = col == x - 1 ? index - 1 : index;
  const int top = row == g.rows - 1 ? left - x : left;
  const QRect cell = g.Cell(top);
  p.rect = QRect(cell.left(), cell.top(), 2 * g.cellWidth + FormGeometry::kGapX,
                 2 * g.cellHeight + FormGeometry::kGapY);
  int n = 0;
  for (int i : {top, top + 1, top + x, top + x + 1}) {
    if (i != index) p.covered[static_cast<std::size_t>(n++)] = i;
  }
  p.valid = true;
  return p;
}

QSize LayoutCellSize(int columns, int rows, const QSize& workArea, const QSize& formClient, bool wide) {
  if (columns < 1 || rows < 1) return QSize(FormGeometry::kDefaultCellWidth, FormGeometry::kDefaultCellHeight);
  const int titles = rows * FormGeometry::kGapY + (wide ? 21 : 47);
  const int w1 = (workArea.width() - columns * FormGeometry::kGapX - 11) / columns;
  const int h1 = (workArea.height() - titles) / rows;
  const int reserve = wide ? 11 : FormGeometry::kSideReserve;
  if (formClient.width() < columns * (w1 + FormGeometry::kGapX) + reserve ||
      formClient.height() < titles + rows * h1) {
    const int w = (workArea.width() - columns * FormGeometry::kGapX - 11 - (wide ? 0 : FormGeometry::kSidePanelWidth)) /
                  columns;
    if (w > FormGeometry::kDefaultCellWidth || h1 > FormGeometry::kDefaultCellHeight) {
      return QSize(FormGeometry::kDefaultCellWidth, FormGeometry::kDefaultCellHeight);
    }
    return QSize(std::max(1, w), std::max(1, h1));
  }
  // A work area too small for the grid still gives cells of a pixel.
  return QSize(std::max(1, w1), std::max(1, h1));
}

FormLayout::FormLayout(const FormGeometry& g) : geometry_(g), places_(static_cast<std::size_t>(g.PaneCount())) {}

int FormLayout::CoveredBy(int i) const {
  for (int j = 0; j < PaneCount(); ++j) {
    const EnlargedPlace& p = places_[Index(j)];
    if (p.valid && std::find(p.covered.begin(), p.covered.end(), i) != p.covered.end()) return j;
  }
  return -1;
}

QRect FormLayout::PaneRect(int i) const {
  if (!Valid(i)) return {};
  return Enlarged(i) ? places_[Index(i)].rect : geometry_.Cell(i);
}

bool FormLayout::DisplayOn(int i) const {
  if (fullScreen_ >= 0) return i == fullScreen_;
  return CoveredBy(i) < 0;
}

int FormLayout::LastEnlarged() const {
  for (int i = PaneCount() - 1; i >= 0; --i) {
    if (Enlarged(i)) return i;
  }
  return -1;
}

std::vector<int> FormLayout::ToggleEnlarged(int i) {
  if (!Valid(i)) return {};
  if (Enlarged(i)) {
    places_[Index(i)] = EnlargedPlace{};
    return {i};
  }
  const EnlargedPlace place = PlaceEnlarged(geometry_, i);
  if (!place.valid) {
    LogMessage("%s:%d (%d)\r\n", LOGPOS, i);
    return {};
  }
  std::vector<int> changed{i};
  for (int j = 0; j < PaneCount(); ++j) {
    if (j != i && Enlarged(j) && places_[Index(j)].rect.intersects(place.rect)) {
      places_[Index(j)] = EnlargedPlace{};
      changed.push_back(j);
    }
  }
  places_[Index(i)] = place;
  return changed;
}

void FormLayout::ToggleFullScreen(int i) {
  if (!Valid(i)) return;
  fullScreen_ = fullScreen_ == i ? -1 : i;
}

void FormLayout::SetWide(bool wide, const QSize& workArea, const QSize& formClient) {
  wide_ = wide;
  geometry_.top = wide ? kTopWide : FormGeometry::kTopNormal;
  const QSize cell = LayoutCellSize(geometry_.columns, geometry_.rows, workArea, formClient, wide);
  geometry_.cellWidth = cell.width();
  geometry_.cellHeight = cell.height();
  for (int i = 0; i < PaneCount(); ++i) {
    if (places_[Index(i)].valid) places_[Index(i)] = PlaceEnlarged(geometry_, i);
  }
}
