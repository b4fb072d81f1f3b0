// A strict reader of JSON text (RFC 8259), for reading back the program's own records: every
// value kept in the order written, integers kept exact, nesting bounded.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

struct JsonMember;

struct JsonValue {
  enum class Kind { Null, Boolean, Number, String, Array, Object };
  Kind kind = Kind::Null;
  bool boolean = false;
  std::optional<std::int64_t> integer;  // a number written as a whole number that fits
  std::string text;                     // a string, as UTF-8
  std::vector<JsonValue> items;         // an array's
  std::vector<JsonMember> members;      // an object's, in the order written

  // The member named key of an object; nullptr when there is none or this is not an object.
  const JsonValue* member(std::string_view key) const;
  bool isString() const { return kind == Kind::String; }
};

struct JsonMember {
  std::string name;
  JsonValue value;
};

// Nothing when the text is not one JSON value (with white space around it), nests deeper than
// MAX_JSON_DEPTH, holds more than MAX_JSON_VALUES values (a record of 100,000 PNGs holds about
// 1.5 million; the bound keeps a hostile text from taking gigabytes), or holds a string that is
// not valid UTF-8 or escapes a lone surrogate.
constexpr int MAX_JSON_DEPTH = 32;
constexpr std::size_t MAX_JSON_VALUES = 2'000'000;
std::optional<JsonValue> parseJson(std::string_view text);
