#include "link/KeyValue.h"

#include <cstdio>
#include <cstring>
#include <limits>
#include <new>

#include "base/base.h"

namespace {

// Pairs a typical message produces; reserved once so reuse never allocates.
constexpr std::size_t kTypicalPairs = 64;

bool IsDelimiter(char c, const char* delimiters) {
  return c != '\0' && std::strchr(delimiters, c) != nullptr;
}

// Finds the key VAR: the letters "VAR" forming a whole token, i.e. at the
// start of the text or after a delimiter, and followed by a delimiter. Returns
// its offset or -1. (A value that merely contains the letters, such as an OSD
// name, does not count.)
long FindVarKey(const char* text, const char* delimiters) {
  for (const char* p = std::strstr(text, "VAR"); p != nullptr; p = std::strstr(p + 1, "VAR")) {
    const bool startsToken = p == text || IsDelimiter(p[-1], delimiters);
    const bool endsToken = IsDelimiter(p[3], delimiters) || p[3] == '\0';
    if (startsToken && endsToken) return p - text;
  }
  return -1;
}

}  // namespace

KeyValueList::KeyValueList() { pairs_.reserve(kTypicalPairs); }

void KeyValueList::Append(const char* key, const char* value) {
  std::lock_guard<std::mutex> hold(lock_);
  pairs_.push_back(Pair{key, value});
}

void KeyValueList::Clear() {
  std::lock_guard<std::mutex> hold(lock_);
  pairs_.clear();
  var_[0] = '\0';
}

KeyValueList* CreateKeyValueList() {
  auto* list = new (std::nothrow) KeyValueList();
  if (list == nullptr) LogMessage("%s:%d\r\n", LOGPOS);
  return list;
}

void ClearKeyValueList(KeyValueList* list) {
  if (list != nullptr) list->Clear();
}

void DestroyKeyValueList(KeyValueList* list) { delete list; }

int ParseKeyValues(char* text, KeyValueList* list, const char* delimiters) {
  if (text == nullptr || list == nullptr || delimiters == nullptr) return 0;

  // The VAR value is the raw tail, copied before the tokenizer cuts the text.
  char* var = list->VarBuffer();
  const bool textIsOwnVar = text >= var && text < var + kVarBufferSize;
  const long varAt = textIsOwnVar ? -1 : FindVarKey(text, delimiters);
  if (!textIsOwnVar) var[0] = '\0';
  if (varAt >= 0 && text[varAt + 3] != '\0') {
    const char* tail = text + varAt + 4;
    const std::size_t length = std::strlen(tail);
    std::size_t keep = length;
    if (keep > static_cast<std::size_t>(kVarBufferSize - 1)) {
      LogMessage("%s:%d (VAR=%d)\r\n", LOGPOS, static_cast<int>(length));
      keep = kVarBufferSize - 1;
    }
    std::memcpy(var, tail, keep);
    var[keep] = '\0';
  }

  int appended = 0;
  char* p = text;
  auto nextToken = [&]() -> char* {
    while (IsDelimiter(*p, delimiters)) ++p;
    if (*p == '\0') return nullptr;
    char* start = p;
    while (*p != '\0' && !IsDelimiter(*p, delimiters)) ++p;
    if (*p != '\0') *p++ = '\0';
    return start;
  };
  while (char* key = nextToken()) {
    if (std::strcmp(key, "VAR") == 0) {
      list->Append(key, var);
      ++appended;
      continue;
    }
    char* value = nextToken();
    if (value == nullptr) break;
    list->Append(key, value);
    ++appended;
  }
  return appended;
}

const char* FindValue(const KeyValueList* list, const char* key) {
  if (list != nullptr && key != nullptr) {
    for (int i = 0; i < list->Count(); ++i) {
      if (std::strcmp(list->At(i).key, key) == 0) return list->At(i).value;
    }
  }
  return "0";
}

std::int32_t ValueToInt(const char* value) {
  if (value == nullptr) return 0;
  const char* p = value;
  while (*p == ' ' || *p == '\t') ++p;
  bool negative = false;
  if (*p == '+' || *p == '-') negative = *p++ == '-';
  long long n = 0;
  constexpr long long kLimit = static_cast<long long>(std::numeric_limits<std::int32_t>::max()) + 1;
  for (; *p >= '0' && *p <= '9'; ++p) {
    n = n * 10 + (*p - '0');
    if (n > kLimit) n = kLimit;
  }
  if (negative) n = -n;
  if (n > std::numeric_limits<std::int32_t>::max()) n = std::numeric_limits<std::int32_t>::max();
  return static_cast<std::int32_t>(n);
}

bool ValueIs(const char* value, const char* word) {
  return value != nullptr && word != nullptr && std::strcmp(value, word) == 0;
}

bool MessageBuilder::Append(const char* text, std::size_t count) {
  if (!ok_) return false;
  if (static_cast<std::size_t>(length_) + count > static_cast<std::size_t>(kMessageBufferSize - 1)) {
    ok_ = false;
    return false;
  }
  std::memcpy(buffer_ + length_, text, count);
  length_ += static_cast<int>(count);
  buffer_[length_] = '\0';
  return true;
}

MessageBuilder& MessageBuilder::Line(const char* key, const char* value) {
  if (!ok_) return *this;
  const int before = length_;
  const bool fits = (length_ == 0 || Append("\n", 1)) && Append(key, std::strlen(key)) &&
                    Append("#", 1) && Append(value, std::strlen(value));
  if (!fits) {
    length_ = before;
    buffer_[length_] = '\0';
    ok_ = false;
  }
  return *this;
}

MessageBuilder& MessageBuilder::Line(const char* key, long long value) {
  char number[24];
  std::snprintf(number, sizeof number, "%lld", value);
  return Line(key, number);
}

MessageBuilder& MessageBuilder::Raw(const char* text) {
  Append(text, std::strlen(text));
  return *this;
}

int ComposeMessage(char* out, std::size_t outSize, const char* stid, const char* dtid,
                   const char* body) {
  const int n = std::snprintf(out, outSize, "SRC#V\nSTID#%s\nDST#C\nDTID#%s\n%s\n\n", stid, dtid, body);
  const std::size_t limit = outSize < static_cast<std::size_t>(kMessageBufferSize) ? outSize
                                                                                  : kMessageBufferSize;
  if (n < 0 || static_cast<std::size_t>(n) >= limit) {
    LogMessage("%s:%d (%d)\r\n", LOGPOS, n);
    if (outSize > 0) out[0] = '\0';
    return -1;
  }
  return n;
}
