// The libjpeg error manager shared by the Motion JPEG decoder and the
// snapshot encoder: the library's own, with an exit that logs the library's
// message and jumps back to the guarded call. The jump only crosses the
// library's C frames, so nothing with a destructor is skipped.
#pragma once

#include <csetjmp>
#include <cstdio>

#include <jpeglib.h>

struct JpegErrorManager {
  jpeg_error_mgr pub;
  std::jmp_buf jump;
};

// Points |err| at the library's defaults with the logging, jumping exit and
// returns it for cinfo.err.
jpeg_error_mgr* InstallJpegErrorManager(JpegErrorManager* err);
