#include "video/JpegError.h"

#include "base/base.h"

namespace {

void OutputMessage(j_common_ptr cinfo) {
  char text[JMSG_LENGTH_MAX];
  (*cinfo->err->format_message)(cinfo, text);
  LogMessage("%s\r\n", text);
}

[[noreturn]] void ErrorExit(j_common_ptr cinfo) {
  (*cinfo->err->output_message)(cinfo);
  std::longjmp(reinterpret_cast<JpegErrorManager*>(cinfo->err)->jump, 1);
}

}  // namespace

jpeg_error_mgr* InstallJpegErrorManager(JpegErrorManager* err) {
  jpeg_error_mgr* pub = jpeg_std_error(&err->pub);
  err->pub.error_exit = ErrorExit;
  err->pub.output_message = OutputMessage;
  return pub;
}
