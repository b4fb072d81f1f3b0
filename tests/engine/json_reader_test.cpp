// The reader of records takes what any JSON writer may write (escapes, pairs of surrogates),
// keeps integers exact, and refuses what is not JSON rather than guessing.
#include "engine/json_reader.h"

#include <gtest/gtest.h>

TEST(JsonReader, ReadsEveryFormOfAStringAndKeepsIntegersExact) {
  const std::pair<const char*, std::string> strings[] = {
      {R"("a\"b\\c\/d\b\f\n\r\t")", "a\"b\\c/d\b\f\n\r\t"},
      {R"("\u0041\u00e9\u20AC")", "A\xC3\xA9\xE2\x82\xAC"},
      {R"("\ud83d\ude00 and \uD83D\uDE00")", "\xF0\x9F\x98\x80 and \xF0\x9F\x98\x80"},
      {"\"\xF0\x9F\x98\x80\"", "\xF0\x9F\x98\x80"},
  };
  for (const auto& [text, expected] : strings) {
    const auto value = parseJson(text);
    ASSERT_TRUE(value) << text;
    EXPECT_EQ(value->text, expected) << text;
  }
  const auto numbers = parseJson(R"( {"n": [4294967295, -7, 0, 1.5, 1e3, 123456789012345678901]} )");
  ASSERT_TRUE(numbers);
  const std::vector<JsonValue>& items = numbers->member("n")->items;
  EXPECT_EQ(items[0].integer, 4294967295);
  EXPECT_EQ(items[1].integer, -7);
  EXPECT_EQ(items[2].integer, 0);
  for (std::size_t i = 3; i < items.size(); ++i) EXPECT_FALSE(items[i].integer) << i;
}

TEST(JsonReader, RefusesWhatIsNotJson) {
  const std::string deep = std::string(MAX_JSON_DEPTH + 2, '[') + std::string(MAX_JSON_DEPTH + 2, ']');
  std::string many = "[0";
  for (std::size_t i = 0; i < MAX_JSON_VALUES; ++i) many += ",0";
  many += "]";
  for (const std::string& text :
       {std::string(R"({"a": 1,})"), std::string(R"({"a" 1})"), std::string("[1] [2]"), std::string("01"),
        std::string("1."), std::string(R"("\ud83d")"), std::string(R"("\ude00")"), std::string(R"("\x")"),
        std::string("\"tab\there\""), std::string("\"\xFF\""), std::string("\"open"), std::string("tru"), deep, many})
    EXPECT_FALSE(parseJson(text)) << text;
}
