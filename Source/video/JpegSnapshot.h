// JPEG snapshots of the picture buffer: 4:2:2 JPEG at quality 80 from the
// planar picture through libjpeg's raw-data interface.
#pragma once

#include <cstdint>

#include "video/PictureRange.h"

// Encodes |width| x |height| samples (each a multiple of 16, width at most
// 4096, height at most 2048) read at |stride| bytes per luma row and
// stride/2 per chroma row; chroma row k serves rows 2k and 2k+1. The JPEG
// holds full-range samples: video-range input (|range|) is stretched on the
// way. Returns the number of bytes written to |out|, or -1 (bad size,
// library error, or more than |capacity| bytes needed).
int EncodeJpegSnapshot(std::uint8_t* out, int capacity, int width, int height,
                       const std::uint8_t* y, const std::uint8_t* cb, const std::uint8_t* cr,
                       int stride, PictureRange range);

// The snapshot of a W x H picture buffer (Y, Cr at W*H, Cb at W*H*5/4): its
// top-left part rounded down to multiples of 16, written to |path| (always
// overwritten). Returns 1 when the file was written; 0 when encoding failed
// or the file could not be created or written; -1 when the output buffer
// could not be allocated (no file, nothing to report).
int WriteSnapshotFile(const std::uint8_t* picture, int width, int height, PictureRange range,
                      const char* path);
