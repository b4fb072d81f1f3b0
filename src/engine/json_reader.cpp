#include "engine/json_reader.h"

#include <cstring>

#include "engine/hex_digit.h"
#include "platform/utf8.h"

namespace {

// Bytes that are not UTF-8 decode to lone surrogates.
bool isValidUtf8(const std::string& bytes) {
  return platform::isValidText(platform::fromUtf8(bytes));
}

class Reader {
 public:
  explicit Reader(std::string_view text) : text_(text) {}

  bool document(JsonValue& value) {
    if (!readValue(value, 0)) return false;
    skipSpace();
    return at_ == text_.size();
  }

 private:
  void skipSpace() {
    while (at_ < text_.size() && std::strchr(" \t\r\n", text_[at_]) != nullptr && text_[at_] != '\0') ++at_;
  }
  bool take(char c) {
    skipSpace();
    if (at_ >= text_.size() || text_[at_] != c) return false;
    ++at_;
    return true;
  }
  bool takeWord(std::string_view word) {
    if (text_.substr(at_, word.size()) != word) return false;
    at_ += word.size();
    return true;
  }

  bool readValue(JsonValue& value, int depth) {
    skipSpace();
    if (at_ >= text_.size() || depth > MAX_JSON_DEPTH || ++values_ > MAX_JSON_VALUES) return false;
    switch (text_[at_]) {
      case '{': value.kind = JsonValue::Kind::Object; return readObject(value, depth);
      case '[': value.kind = JsonValue::Kind::Array; return readArray(value, depth);
      case '"': value.kind = JsonValue::Kind::String; return readString(value.text);
      case 't': value.kind = JsonValue::Kind::Boolean; return value.boolean = takeWord("true");
      case 'f': value.kind = JsonValue::Kind::Boolean; return takeWord("false");
      case 'n': value.kind = JsonValue::Kind::Null; return takeWord("null");
      default: value.kind = JsonValue::Kind::Number; return readNumber(value);
    }
  }

  bool readObject(JsonValue& value, int depth) {
    ++at_;
    if (take('}')) return true;
    do {
      JsonMember& member = value.members.emplace_back();
      skipSpace();
      if (at_ >= text_.size() || text_[at_] != '"' || !readString(member.name) || !take(':') ||
          !readValue(member.value, depth + 1))
        return false;
    } while (take(','));
    return take('}');
  }

  bool readArray(JsonValue& value, int depth) {
    ++at_;
    if (take(']')) return true;
    do {
      if (!readValue(value.items.emplace_back(), depth + 1)) return false;
    } while (take(','));
    return take(']');
  }

  // -?(0|[1-9][0-9]*)(\.[0-9]+)?([eE][+-]?[0-9]+)?, kept exact when it is a whole number.
  bool readNumber(JsonValue& value) {
    const std::size_t start = at_;
    const auto digits = [this] {
      const std::size_t first = at_;
      while (at_ < text_.size() && text_[at_] >= '0' && text_[at_] <= '9') ++at_;
      return at_ - first;
    };
    if (at_ < text_.size() && text_[at_] == '-') ++at_;
    const std::size_t integerStart = at_;
    const std::size_t integerDigits = digits();
    if (integerDigits == 0 || (integerDigits > 1 && text_[integerStart] == '0')) return false;
    bool whole = true;
    if (at_ < text_.size() && text_[at_] == '.') {
      ++at_;
      if (digits() == 0) return false;
      whole = false;
    }
    if (at_ < text_.size() && (text_[at_] == 'e' || text_[at_] == 'E')) {
      ++at_;
      if (at_ < text_.size() && (text_[at_] == '+' || text_[at_] == '-')) ++at_;
      if (digits() == 0) return false;
      whole = false;
    }
    if (whole && integerDigits <= 18) {
      std::int64_t magnitude = 0;
      for (std::size_t i = integerStart; i < at_; ++i) magnitude = magnitude * 10 + (text_[i] - '0');
      value.integer = text_[start] == '-' ? -magnitude : magnitude;
    }
    return true;
  }

  bool readUnit(char32_t& unit) {
    if (at_ + 4 > text_.size()) return false;
    unit = 0;
    for (int i = 0; i < 4; ++i) {
      const int digit = hexDigitValue(static_cast<unsigned char>(text_[at_++]));
      if (digit < 0) return false;
      unit = unit << 4 | static_cast<char32_t>(digit);
    }
    return true;
  }

  bool readEscape(std::string& out) {
    if (at_ >= text_.size()) return false;
    const char c = text_[at_++];
    static constexpr std::string_view PLAIN = "\"\\/bfnrt", MEANING = "\"\\/\b\f\n\r\t";
    if (const auto plain = PLAIN.find(c); plain != std::string_view::npos) {
      out += MEANING[plain];
      return true;
    }
    char32_t unit;
    if (c != 'u' || !readUnit(unit)) return false;
    if (unit >= 0xDC00 && unit <= 0xDFFF) return false;
    if (unit >= 0xD800 && unit <= 0xDBFF) {
      char32_t low;
      if (!takeWord("\\u") || !readUnit(low) || low < 0xDC00 || low > 0xDFFF) return false;
      unit = 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00);
    }
    platform::appendUtf8(unit, out);
    return true;
  }

  bool readString(std::string& out) {
    ++at_;
    std::size_t plainStart = at_;
    while (at_ < text_.size()) {
      const unsigned char c = static_cast<unsigned char>(text_[at_]);
      if (c == '"' || c == '\\') {
        out.append(text_.substr(plainStart, at_ - plainStart));
        ++at_;
        if (c == '"') return isValidUtf8(out);
        if (!readEscape(out)) return false;
        plainStart = at_;
      } else if (c < 0x20) {
        return false;
      } else {
        ++at_;
      }
    }
    return false;
  }

  std::string_view text_;
  std::size_t at_ = 0;
  std::size_t values_ = 0;
};

}  // namespace

const JsonValue* JsonValue::member(std::string_view key) const {
  if (kind != Kind::Object) return nullptr;
  for (const JsonMember& found : members)
    if (found.name == key) return &found.value;
  return nullptr;
}

std::optional<JsonValue> parseJson(std::string_view text) {
  JsonValue value;
  if (!Reader(text).document(value)) return std::nullopt;
  return value;
}
