// Where the panes of the main form are: their cells, the panes enlarged over
// four cells and the three panes each one covers, the pane shown full screen
// and wide mode (no side panel, cells sized to the work area). The state and
// its geometry only, no widgets: MFormView places the panes and switches
// their pictures after every change. UI thread.
#pragma once

#include <QRect>
#include <QSize>
#include <array>
#include <vector>

#include "form/FormGeometry.h"

// The 2 x 2 rectangle of an enlarged pane and the panes under it.
struct EnlargedPlace {
  bool valid = false;  // false: the grid has a single row or column
  QRect rect;
  std::array<int, 3> covered{{-1, -1, -1}};  // ascending
};

// The place of pane |index| enlarged: from its own top-left corner over its
// right, lower and diagonal neighbours; a pane in the last column reaches
// left instead (x moves left by W + 5), one in the last row upward (y moves
// up by H + 15).
EnlargedPlace PlaceEnlarged(const FormGeometry& g, int index);

// The cell size after entering (|wide|) or leaving wide mode: the cells fill
// the work area; when the form's client area is smaller than that grid needs
// (back from wide mode in the remembered window), the cells fit the work area
// beside the side panel, and are the designed 320 x 240 when they would be
// larger.
QSize LayoutCellSize(int columns, int rows, const QSize& workArea, const QSize& formClient, bool wide);

class FormLayout {
 public:
  static constexpr int kTopWide = 18;

  FormLayout() = default;
  explicit FormLayout(const FormGeometry& g);

  const FormGeometry& Geometry() const { return geometry_; }
  int PaneCount() const { return static_cast<int>(places_.size()); }
  bool Enlarged(int i) const { return Valid(i) && places_[Index(i)].valid; }
  // The enlarged pane covering pane |i|, -1 for none.
  int CoveredBy(int i) const;
  // The pane's rectangle in the form: its 2 x 2 place or its cell.
  QRect PaneRect(int i) const;
  // Whether pane |i|'s picture is drawn: only the full-screen pane's while
  // one is full screen, else every pane not covered by an enlarged one.
  bool DisplayOn(int i) const;
  int FullScreenPane() const { return fullScreen_; }
  bool Wide() const { return wide_; }
  // The last enlarged pane in slot order, -1 for none.
  int LastEnlarged() const;

  // Enlarges pane |i| (shrinking every enlarged pane its place overlaps) or
  // shrinks it back. Returns the panes whose enlargement changed, |i| first;
  // empty when nothing changed (no place in a one-row or one-column grid).
  std::vector<int> ToggleEnlarged(int i);
  // Pane |i| goes full screen, or back when it is; another pane full screen
  // goes back first.
  void ToggleFullScreen(int i);
  void LeaveFullScreen() { fullScreen_ = -1; }
  // Enters or leaves wide mode: the grid's top and cell size follow, and
  // enlarged panes keep their neighbours at the new place.
  void SetWide(bool wide, const QSize& workArea, const QSize& formClient);

 private:
  bool Valid(int i) const { return i >= 0 && i < PaneCount(); }
  static std::size_t Index(int i) { return static_cast<std::size_t>(i); }

  FormGeometry geometry_;
  std::vector<EnlargedPlace> places_;  // per pane; valid while enlarged
  int fullScreen_ = -1;
  bool wide_ = false;
};
