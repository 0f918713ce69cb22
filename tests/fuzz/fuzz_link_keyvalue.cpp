// ParseKeyValues + FindValue over arbitrary bytes, with both delimiter sets,
// then the VAR text parsed again as the receivers do.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "link/KeyValue.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::vector<char> text(data, data + size);
  text.push_back('\0');
  KeyValueList list;
  ParseKeyValues(text.data(), &list, size % 2 ? kVarDelimiters : kMessageDelimiters);
  for (const char* key : {"SRC", "DST", "CMD", "CLS", "MTD", "RSP", "CODE", "STID", "VAR"}) {
    const char* value = FindValue(&list, key);
    (void)std::strlen(value);
    (void)ValueToInt(value);
  }
  std::vector<char> var(list.VarText(), list.VarText() + std::strlen(list.VarText()) + 1);
  KeyValueList inner;
  ParseKeyValues(var.data(), &inner, kVarDelimiters);
  for (int i = 0; i < inner.Count(); ++i) (void)FindValue(&inner, inner.At(i).key);
  return 0;
}
