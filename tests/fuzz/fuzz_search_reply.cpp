// The search reply parser: arbitrary datagrams (split at 0xFF bytes) inserted
// into the result table, then listed.
#include <cstddef>
#include <cstdint>
#include <string>

#include "base/CAMManager.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  SearchTable table;
  table.Clear();
  std::size_t start = 0;
  for (std::size_t i = 0; i <= size; ++i) {
    if (i == size || data[i] == 0xFF) {
      table.Insert(data + start, i - start);
      start = i + 1;
    }
  }
  // Whole 128-byte pieces as well, so the insertion itself is exercised.
  for (std::size_t at = 0; at + 128 <= size; at += 128) table.Insert(data + at, 128);
  for (const auto& line : table.Listing()) {
    if (line.size() > 40) __builtin_trap();  // 23 address characters + ":" + port
  }
  return 0;
}
