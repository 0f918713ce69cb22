#include "link/KeyValue.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace {

using Pairs = std::vector<std::pair<std::string, std::string>>;

Pairs Parse(std::string text, const char* delimiters, KeyValueList& list) {
  static std::string keep;  // the list points into the text
  keep = std::move(text);
  ParseKeyValues(keep.data(), &list, delimiters);
  Pairs out;
  for (int i = 0; i < list.Count(); ++i) out.emplace_back(list.At(i).key, list.At(i).value);
  return out;
}

struct ParseCase {
  const char* name;
  const char* text;
  const char* delimiters;
  Pairs expected;
};

TEST(KeyValue, ParsesMessagesAndVarTexts) {
  const ParseCase cases[] = {
      {"plain reply", "CMD#ALIVE\nMTD#SET\nRSP#ACK\n\n", "#\n",
       {{"CMD", "ALIVE"}, {"MTD", "SET"}, {"RSP", "ACK"}}},
      {"repeated key keeps order", "A#1\nA#2\n\n", "#\n", {{"A", "1"}, {"A", "2"}}},
      {"empty value shifts the pairing", "KEY#\nNEXT#x\n\n", "#\n", {{"KEY", "NEXT"}}},
      {"leading delimiters skipped", "\n\n#CMD#CLOSE\n\n", "#\n", {{"CMD", "CLOSE"}}},
      {"var text", "RES=2;VCODEC=1;QUALITY=3;\n\n", "=;\n",
       {{"RES", "2"}, {"VCODEC", "1"}, {"QUALITY", "3"}}},
      {"password positional values", "admin=pw=0;", "=;\n", {{"admin", "pw"}}},
      {"nothing", "", "#\n", {}},
  };
  for (const auto& c : cases) {
    KeyValueList list;
    EXPECT_EQ(Parse(c.text, c.delimiters, list), c.expected) << c.name;
  }
}

TEST(KeyValue, VarTakesTheRawTailAndParsesAgain) {
  KeyValueList list;
  std::string text = "SRC#C\nCMD#SETUP\nCLS#VIDEO\nRSP#ACK\nVAR#RES=2;VCODEC=1;\n\n";
  ParseKeyValues(text.data(), &list, kMessageDelimiters);
  EXPECT_STREQ(FindValue(&list, "VAR"), "RES=2;VCODEC=1;\n\n");
  EXPECT_STREQ(FindValue(&list, "RSP"), "ACK");

  std::string var = FindValue(&list, "VAR");
  KeyValueList inner;
  ParseKeyValues(var.data(), &inner, kVarDelimiters);
  ASSERT_EQ(inner.Count(), 2);
  EXPECT_STREQ(FindValue(&inner, "RES"), "2");
  EXPECT_STREQ(FindValue(&inner, "VCODEC"), "1");

  // Parsing the list's own VAR text into itself keeps the text intact.
  ParseKeyValues(list.VarBuffer(), &list, kVarDelimiters);
  EXPECT_STREQ(FindValue(&list, "RES"), "2");
}

TEST(KeyValue, VarOnlyCountsAsAWholeKey) {
  KeyValueList list;
  std::string text = "OSD_NAME#MYVARNAME\nRSP#ACK\n\n";
  ParseKeyValues(text.data(), &list, kMessageDelimiters);
  EXPECT_STREQ(list.VarText(), "");
  EXPECT_STREQ(FindValue(&list, "OSD_NAME"), "MYVARNAME");
}

TEST(KeyValue, LongVarIsCutTo1427) {
  KeyValueList list;
  std::string text = "RSP#ACK\nVAR#" + std::string(3000, 'x') + "\n\n";
  ParseKeyValues(text.data(), &list, kMessageDelimiters);
  EXPECT_EQ(std::string(FindValue(&list, "VAR")).size(), 1427u);
}

TEST(KeyValue, MissingKeysAndNumbers) {
  KeyValueList list;
  std::string text = "CMD#ALIVE\nRSP#ACK \n\n";
  ParseKeyValues(text.data(), &list, kMessageDelimiters);
  EXPECT_STREQ(FindValue(&list, "CODE"), "0");
  EXPECT_FALSE(ValueIs(FindValue(&list, "RSP"), "ACK"));  // trailing blank: not acceptance
  EXPECT_TRUE(ValueIs(FindValue(&list, "CMD"), "ALIVE"));
  EXPECT_STREQ(FindValue(nullptr, "CMD"), "0");

  const std::pair<const char*, int> numbers[] = {
      {"502", 502}, {"  -12x", -12}, {"+7", 7}, {"abc", 0}, {"", 0},
      {"99999999999", 2147483647}, {"-99999999999", -2147483647 - 1}, {"-2147483648", -2147483647 - 1}};
  for (const auto& [text, value] : numbers) EXPECT_EQ(ValueToInt(text), value) << text;
}

TEST(KeyValue, ClearAndReuse) {
  KeyValueList* list = CreateKeyValueList();
  ASSERT_NE(list, nullptr);
  std::string a = "A#1\nVAR#X=1;\n\n";
  ParseKeyValues(a.data(), list, kMessageDelimiters);
  ClearKeyValueList(list);
  EXPECT_EQ(list->Count(), 0);
  EXPECT_STREQ(list->VarText(), "");
  DestroyKeyValueList(list);
  DestroyKeyValueList(nullptr);
}

TEST(MessageBuilder, BuildsBodiesAndRefusesOverflow) {
  MessageBuilder body;
  body.Line("CMD", "CONTROL").Line("CLS", "VIDEO").Line("MTD", "SET").Line("FHORZ", 1).Line("FVERT", 0LL);
  EXPECT_TRUE(body.ok());
  EXPECT_STREQ(body.text(), "CMD#CONTROL\nCLS#VIDEO\nMTD#SET\nFHORZ#1\nFVERT#0");

  MessageBuilder big;
  big.Line("CMD", "SETUP");
  const std::string huge(1500, 'a');
  big.Line("VAR", huge.c_str());
  EXPECT_FALSE(big.ok());
  EXPECT_STREQ(big.text(), "CMD#SETUP");

  char out[kMessageBufferSize];
  const int n = ComposeMessage(out, sizeof out, "0_812", "7_99", "CMD#CONTROL\nCLS#VIDEO\nMTD#PLAY");
  EXPECT_STREQ(out, "SRC#V\nSTID#0_812\nDST#C\nDTID#7_99\nCMD#CONTROL\nCLS#VIDEO\nMTD#PLAY\n\n");
  EXPECT_EQ(n, static_cast<int>(std::string(out).size()));
  EXPECT_EQ(ComposeMessage(out, sizeof out, "0_1", "T", std::string(1420, 'b').c_str()), -1);
}

}  // namespace
