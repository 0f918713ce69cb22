#include "SurfaceChoice.h"

#include <atomic>

namespace {
std::atomic<SurfaceFamily> g_family{SurfaceFamily::Designed};
}  // namespace

void SetSurfaceFamily(SurfaceFamily family) { g_family.store(family); }

SurfaceFamily CurrentSurfaceFamily() { return g_family.load(); }
