// The arithmetic behind the skinned controls, free of widgets so tests can
// run it as tables: the track bar's pixel/value mapping, the drop-down
// list's keys and scroll range, and the pan/tilt pad's zones and steps.
#pragma once

#include "controls/PtzStep.h"

// --- Track bar ---------------------------------------------------------------
// The thumb travels between kTrackMargin pixels from each end of the bar.
inline constexpr int kTrackMargin = 7;

struct TrackRange {
  int minimum = 0;
  int maximum = 100;
  int pixelsPerStep = 1;  // values below 1 count as 1
};

// Value under pixel |p| along a bar |length| pixels long: (p - 7) / pps +
// minimum, clamped to the range.
int TrackValueAt(const TrackRange& r, int p);
// Pixel of value |v| (clamped to the range first): (v - minimum) * pps + 7,
// clamped to 7..length - 7.
int TrackPixelOf(const TrackRange& r, int v, int length);

// --- Drop-down list ----------------------------------------------------------
// Rows shown by a list whose drop-down is |height| pixels high (the first
// 18 pixels belong to the closed box): (height - 18) / itemHeight, at least 1.
int ListVisibleRows(int height, int itemHeight);

enum class ListKey { PageUp, PageDown, Up, Down, Left, Right, Other };
// The selection after |key| from |current| (-1 for none) in a list of
// |count| rows with |visible| rows shown; keys that do not move return
// |current|. An empty list keeps -1.
int ListKeyTarget(ListKey key, int current, int count, int visible);

// The vertical scroll bar of a list: positions 0..count - 1 with a page of
// the visible rows, so the last page starts at count - page.
struct ListScroll {
  int minimum = 0;
  int maximum = 0;  // count - 1 (0 for an empty list)
  int page = 1;
  // The highest first row a scroll can reach.
  int LastTop() const { return maximum - page + 1 > 0 ? maximum - page + 1 : 0; }
};
ListScroll ListScrollRange(int count, int visible);
// Lines scrolled by a wheel turn of |angleDelta| eighths of a degree (one
// notch = 120): three lines per notch, positive scrolls toward the top.
int ListWheelLines(int angleDelta);

// --- Pan/tilt pad ------------------------------------------------------------
// The pad's arrow under client point (x, y): 1 left, 2 up, 3 right, 4 down,
// 0 none (between or outside the arrows).
int PadZoneAt(int x, int y);
// The step an arrow asks for: left pan -2, up tilt +2, right pan +2, down
// tilt -2; none (and anything else) all zeros.
PtzStep PadStep(int zone);
