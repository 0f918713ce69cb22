#include "controls/ControlMath.h"

#include <algorithm>

namespace {

int Pps(const TrackRange& r) { return std::max(1, r.pixelsPerStep); }

int ClampValue(const TrackRange& r, int v) {
  return std::clamp(v, r.minimum, std::max(r.minimum, r.maximum));
}

}  // namespace

int TrackValueAt(const TrackRange& r, int p) {
  // Pixels left of the travel give the minimum, not a value rounded toward 0.
  if (p < kTrackMargin) return r.minimum;
  return ClampValue(r, (p - kTrackMargin) / Pps(r) + r.minimum);
}

int TrackPixelOf(const TrackRange& r, int v, int length) {
  const int p = (ClampValue(r, v) - r.minimum) * Pps(r) + kTrackMargin;
  return std::clamp(p, kTrackMargin, std::max(kTrackMargin, length - kTrackMargin));
}

int ListVisibleRows(int height, int itemHeight) {
  if (itemHeight <= 0) return 1;
  return std::max(1, (height - 18) / itemHeight);
}

int ListKeyTarget(ListKey key, int current, int count, int visible) {
  if (count <= 0) return -1;
  const int page = std::max(1, visible);
  const int last = count - 1;
  // With nothing selected, a move down starts at the first row and a move up
  // at the last.
  switch (key) {
    case ListKey::PageUp: return current < 0 ? 0 : std::max(0, current - page);
    case ListKey::PageDown: return current < 0 ? std::min(last, page - 1) : std::min(last, current + page);
    case ListKey::Up:
    case ListKey::Left: return current < 0 ? last : std::max(0, current - 1);
    case ListKey::Down:
    case ListKey::Right: return current < 0 ? 0 : std::min(last, current + 1);
    case ListKey::Other: break;
  }
  return std::clamp(current, -1, last);
}

ListScroll ListScrollRange(int count, int visible) {
  ListScroll s;
  s.maximum = std::max(0, count - 1);
  s.page = std::max(1, visible);
  return s;
}

int ListWheelLines(int angleDelta) { return angleDelta / 120 * 3; }

int PadZoneAt(int x, int y) {
  struct Zone {
    int zone, left, right, top, bottom;
  };
  static constexpr Zone kZones[] = {
      {1, 19, 38, 40, 72},
      {2, 39, 72, 20, 38},
      {3, 74, 91, 40, 72},
      {4, 40, 72, 74, 91},
  };
  for (const Zone& z : kZones) {
    if (x >= z.left && x <= z.right && y >= z.top && y <= z.bottom) return z.zone;
  }
  return 0;
}

PtzStep PadStep(int zone) {
  switch (zone) {
    case 1: return {-2, 0, 0, 0};
    case 2: return {0, 2, 0, 0};
    case 3: return {2, 0, 0, 0};
    case 4: return {0, -2, 0, 0};
    default: return {};
  }
}
