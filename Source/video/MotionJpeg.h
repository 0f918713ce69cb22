// Motion JPEG frames to the YV12 picture buffer, through libjpeg's raw-data
// interface (no colour conversion, no library upsampling, fast integer DCT),
// with the picture's horizontal scaling and chroma conversion done here.
#pragma once

#include <cstdint>

#include "base/TimedLock.h"

struct jpeg_decompress_struct;

// The process-wide lock around DecodeJpegFrame: its scratch rows and its
// decompressor are shared by every render thread.
TimedLock& MotionJpegLock();

// Decodes one JPEG image of OW x H into a W x H picture. Call with
// MotionJpegLock() held. |cb| is the picture + W*H*5/4, |cr| the picture +
// W*H. Horizontal mode from T = floor(2*OW/3): W < T halves (pairs of source
// pixels averaged), W = T scales by two thirds, W > T copies; halving and
// copying take a centred crop when the source is wider. Columns the JPEG does
// not cover are black (Y 0, Cb/Cr 128: the picture is full range); rows past
// H are never written.
// Accepts 4:4:4, 4:2:2, 4:4:0 and 4:2:0; the JPEG's height must equal H.
// Returns 0, or -1 on any failure (library error, unsupported layout, size
// mismatch).
int DecodeJpegFrame(const std::uint8_t* payload, int size, int width, int height,
                    std::uint8_t* y, std::uint8_t* cb, std::uint8_t* cr);

// Installs the typical Huffman tables of ITU-T T.81 Annex K.3 (luminance in
// slots 0, chrominance in slots 1) into a decompressor whose header defined
// none; Motion JPEG frames usually carry no DHT segment.
void InstallStandardHuffmanTables(jpeg_decompress_struct* cinfo);

// True when the decompressor's header defined none of the four tables.
bool LacksHuffmanTables(const jpeg_decompress_struct* cinfo);
