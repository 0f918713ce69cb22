// Which family of picture surfaces new panes use. The benchmark forces one
// family to compare their cost; the viewer keeps the default.
#pragma once

enum class SurfaceFamily {
  Designed,  // YUV kinds first, then RGB by the desktop's depth
  YuvOnly,   // YUV kinds only (nothing shown when none is available)
  RgbOnly,   // RGB kinds by the desktop's depth
};

// Sets the family for panes created afterwards. Call before panes are created.
void SetSurfaceFamily(SurfaceFamily family);
SurfaceFamily CurrentSurfaceFamily();
