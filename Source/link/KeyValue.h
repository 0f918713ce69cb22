// The key#value text of control messages: the parser every receiver uses and
// the builder every sender uses. No sockets here; no Qt.
//
// A message is lines "KEY#VALUE\n" ending with an empty line ("\n\n"). The
// value of VAR is the raw rest of the message (it carries "NAME=VALUE;" pairs
// of its own, read again with ParseKeyValues and the delimiters "=;\n").
//
// Typical receiver:
//   char text[2048];                       // one message, NUL-terminated
//   KeyValueList list;                     // reusable; Clear() keeps capacity
//   ParseKeyValues(text, &list, kMessageDelimiters);
//   if (ValueIs(FindValue(&list, "RSP"), "ACK")) ...
//   int code = ValueToInt(FindValue(&list, "CODE"));   // missing key -> 0
//
// Typical sender:
//   MessageBuilder body;                   // 1428-byte buffer, 1427 usable
//   body.Line("CMD", "CONTROL").Line("CLS", "VIDEO").Line("MTD", "PLAY");
//   if (!body.ok()) ...                    // too long: nothing half-built is sent
//   body.text();                           // "CMD#CONTROL\nCLS#VIDEO\nMTD#PLAY"
#pragma once

#include <cstddef>
#include <cstdint>
#include <mutex>
#include <vector>

// Size limits of the wire format.
inline constexpr int kMessageBufferSize = 1428;  // outbound message, 1427 characters usable
inline constexpr int kInboundBufferSize = 2048;  // inbound message, 2047 characters usable
inline constexpr int kVarBufferSize = 1428;      // VAR text, 1427 characters usable

// Delimiter sets for ParseKeyValues.
inline constexpr const char* kMessageDelimiters = "#\n";
inline constexpr const char* kVarDelimiters = "=;\n";

// The parsed form of a message or a VAR text: (key, value) pairs in text order.
// Keys and values point into the parsed text (which must outlive the list) or,
// for VAR, into the list's own copy of the VAR text. Lookups take no lock: a
// list is read by the thread that parsed it.
class KeyValueList {
 public:
  struct Pair {
    const char* key;
    const char* value;
  };

  KeyValueList();
  KeyValueList(const KeyValueList&) = delete;
  KeyValueList& operator=(const KeyValueList&) = delete;

  int Count() const { return static_cast<int>(pairs_.size()); }
  const Pair& At(int index) const { return pairs_[static_cast<std::size_t>(index)]; }

  // Appends one pair under the list's lock.
  void Append(const char* key, const char* value);
  // Removes every pair (capacity is kept, so reuse does not allocate).
  void Clear();

  // The VAR text of the last parse that found one ("" otherwise): at most
  // kVarBufferSize - 1 characters. Owned by the list; valid until the next
  // parse into it or its destruction.
  const char* VarText() const { return var_; }
  char* VarBuffer() { return var_; }

 private:
  std::mutex lock_;              // guards pairs_ while appending and clearing
  std::vector<Pair> pairs_;      // guarded by lock_ for writers
  char var_[kVarBufferSize] = {};
};

// Heap forms of the list for callers that keep it by pointer. Create returns
// nullptr when memory is short (logged); Destroy(nullptr) does nothing.
KeyValueList* CreateKeyValueList();
void ClearKeyValueList(KeyValueList* list);
void DestroyKeyValueList(KeyValueList* list);

// Splits |text| in place at runs of |delimiters| (no empty tokens) and appends
// the pairs token by token: a token is a key, the next token its value; a key
// without a following token is dropped. The token "VAR" takes as its value
// the raw text after "VAR" and its delimiter up to the end (copied into the
// list, cut to 1427 characters with a log line when longer); the tokens of
// that text are then paired on as further keys and values. Returns the number
// of pairs appended.
int ParseKeyValues(char* text, KeyValueList* list, const char* delimiters);

// The value of the first pair whose key equals |key| exactly, or "0".
const char* FindValue(const KeyValueList* list, const char* key);

// Signed decimal reading: leading blanks, optional sign, digits up to the
// first non-digit; no digits give 0. Saturates at the int32 range.
std::int32_t ValueToInt(const char* value);

// Exact comparison (the whole word, terminator included).
bool ValueIs(const char* value, const char* word);

// Composes "KEY#VALUE" lines separated by "\n" (no newline after the last)
// into a fixed buffer of kMessageBufferSize bytes. A line that does not fit
// marks the builder failed and leaves the text as it was before that line.
class MessageBuilder {
 public:
  MessageBuilder() = default;
  MessageBuilder& Line(const char* key, const char* value);
  MessageBuilder& Line(const char* key, long long value);  // "%lld"
  // Appends raw text (used for the closing "\n\n" of a full message).
  MessageBuilder& Raw(const char* text);

  bool ok() const { return ok_; }
  const char* text() const { return buffer_; }
  int length() const { return length_; }

 private:
  bool Append(const char* text, std::size_t count);

  char buffer_[kMessageBufferSize] = {};
  int length_ = 0;
  bool ok_ = true;
};

// Writes the full message: the header lines SRC#V, STID, DST#C, DTID, then the
// body lines and "\n\n". Returns the message length, or -1 (logged) when it
// does not fit in kMessageBufferSize - 1 characters.
int ComposeMessage(char* out, std::size_t outSize, const char* stid, const char* dtid,
                   const char* body);
