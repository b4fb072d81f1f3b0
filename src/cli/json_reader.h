// A strict reader of JSON text (RFC 8259), for reading back the program's own records: every
// value kept in the order written, integers kept exact, nesting bounded.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

struct JsonValue {
  enum class Kind { Null, Boolean, Number, String, Array, Object };
  Kind kind = Kind::Null;
  bool boolean = false;
  std::optional<std::int64_t> integer;                     // a number written as a whole number that fits
  std::string text;                                        // a string, as UTF-8
  std::vector<JsonValue> items;                            // an array's
  std::vector<std::pair<std::string, JsonValue>> members;  // an object's, in the order written

  // The member named key of an object; nullptr when there is none or this is not an object.
  const JsonValue* member(std::string_view key) const;
  bool isString() const { return kind == Kind::String; }
};

// Nothing when the text is not one JSON value (with white space around it), nests deeper than
// MAX_JSON_DEPTH, or holds a string that is not valid UTF-8 or escapes a lone surrogate.
constexpr int MAX_JSON_DEPTH = 32;
std::optional<JsonValue> parseJson(std::string_view text);
