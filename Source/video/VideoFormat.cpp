#include "video/VideoFormat.h"

#include <string>

#include "base/base.h"
#include "link/KeyValue.h"

bool ParseVideoFormat(const char* var, VideoFormat* out) {
  if (var == nullptr || out == nullptr) {
    LogMessage("%s:%d no VIDEO text\r\n", LOGPOS);
    return false;
  }
  // Parsing splits the text in place: work on a copy no longer than an
  // inbound message.
  std::string text(var);
  if (text.size() >= static_cast<std::size_t>(kInboundBufferSize)) text.resize(kInboundBufferSize - 1);
  KeyValueList list;
  ParseKeyValues(text.data(), &list, kVarDelimiters);
  auto number = [&list](const char* key) { return ValueToInt(FindValue(&list, key)); };

  const int res = number("RES");
  int width = number("WIDTH");
  int height = number("HEIGHT");
  if (res == 0 || res == 1) {
    width = 320;
    height = 240;
  } else if (res == 2) {
    width = 640;
    height = 480;
  } else if (width < 1 || height < 1 || width > kMaxVideoSide || height > kMaxVideoSide) {
    LogMessage("%s:%d (%d) %dx%d\r\n", LOGPOS, res, width, height);
    return false;
  }
  VideoFormat f;
  f.resolution = static_cast<std::uint8_t>(res);
  f.codec = static_cast<std::uint8_t>(number("VCODEC"));
  f.quality = static_cast<std::uint8_t>(number("QUALITY"));
  f.contrast = static_cast<std::uint8_t>(number("CONTRAST"));
  f.brightness = static_cast<std::uint8_t>(number("BRIGHT"));
  f.width = width;
  f.height = height;
  *out = f;
  return true;
}
