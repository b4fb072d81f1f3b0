#include "engine/json_record.h"

#include <cstdio>

#include "engine/hex_digit.h"
#include "engine/report_words.h"
#include "platform/utf8.h"

namespace {

// The first bytes of every record; isJsonRecord looks for them.
// A constant, not a string made before main: that could meet a want of memory nothing catches.
constexpr std::string_view RECORD_START = "{\n  \"format\": \"glyphwarden-run\",\n";
static_assert(RECORD_START.substr(15, JSON_RECORD_FORMAT.size()) == JSON_RECORD_FORMAT);

// A JSON string: UTF-8, with quotes, backslashes and control characters escaped; a lone
// surrogate shows as U+FFFD (the lossless form is given beside it).
void appendString(std::string& out, std::wstring_view text) {
  out += '"';
  for (std::size_t i = 0; i < text.size();) {
    const platform::CodePoint point = platform::codePointAt(text, i);
    i += point.length;
    const char32_t c = platform::shownCodePoint(point.value);
    if (c == U'"' || c == U'\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c < 0x20 || c == 0x7F) {
      char escape[8];
      std::snprintf(escape, sizeof escape, "\\u%04X", static_cast<unsigned>(c));
      out += escape;
    } else {
      platform::appendUtf8(c, out);
    }
  }
  out += '"';
}

// The name as the file system stores it, in hexadecimal.
std::string storedBytesHex(std::wstring_view name) {
  const std::string bytes = platform::storedNameBytes(name);
  return hexOf({reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()});
}

// A text field that may hold a name or path: its text, and its stored form when it is not
// valid text.
void appendName(std::string& out, const char* key, std::wstring_view text) {
  out += '"';
  out += key;
  out += "\": ";
  appendString(out, text);
  if (!platform::isValidText(text)) {
    out += ", \"";
    out += key;
    out += "StoredHex\": \"" + storedBytesHex(text) + "\"";
  }
}

// A path the system resolved, or null where it could not.
void appendAbsolute(std::string& out, const char* key, std::wstring_view absolute) {
  if (!absolute.empty()) return appendName(out, key, absolute);
  out += '"';
  out += key;
  out += "\": null";
}

void appendHex(std::string& out, std::span<const std::uint8_t> bytes) {
  static constexpr char DIGITS[] = "0123456789abcdef";
  const std::size_t at = out.size();
  out.resize(at + 2 * bytes.size());
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    out[at + 2 * i] = DIGITS[bytes[i] >> 4];
    out[at + 2 * i + 1] = DIGITS[bytes[i] & 15];
  }
}

void appendNumber(std::string& out, std::uint64_t number) {
  out += std::to_string(number);
}

void appendDigest(std::string& out, const std::optional<platform::Sha256Digest>& digest) {
  out += ", \"sha256\": ";
  if (!digest) {
    out += "null";
    return;
  }
  out += '"';
  appendHex(out, *digest);
  out += '"';
}

void appendFirmware(std::string& out, const char* key, std::wstring_view path, std::wstring_view absolute, bool opened,
                    std::uint32_t regionSize, const std::optional<platform::Sha256Digest>& digest) {
  out += "  \"";
  out += key;
  out += "\": {";
  appendName(out, "path", path);
  out += ", ";
  appendAbsolute(out, "absolutePath", absolute);
  out += ", \"regionSize\": " + (opened ? std::to_string(regionSize) : std::string("null"));
  appendDigest(out, digest);
  out += "},\n";
}

void appendCopy(std::string& out, const CopyRecord& copy, const ReportedRun& run) {
  out += "{\"newNumber\": ";
  appendNumber(out, copy.newNumber);
  out += ", \"result\": ";
  appendString(out, resultLabel(copy.result));
  if (copy.result == CopyResult::Failed) {
    out += ", \"reason\": ";
    appendString(out, copy.failure);
  }
  out += ", \"anchor\": ";
  appendNumber(out, copy.anchor);
  out += ", \"originalPair\": ";
  appendNumber(out, copy.originalPair);
  out += ", \"newPair\": ";
  appendNumber(out, copy.newPair);
  if (copy.result == CopyResult::Copied) {
    out += ", \"identity\": ";
    out += copy.made ? '"' + identityText(*copy.made) + '"' : std::string("null");
    if (!copy.retried.empty()) {
      out += ", \"retried\": ";
      appendString(out, copy.retried);
    }
  }
  if (copy.result == CopyResult::Duplicate) {
    const std::optional<bool> identical = run.identicalToExisting(copy);
    out += !identical ? ", \"identical\": null" : *identical ? ", \"identical\": true" : ", \"identical\": false";
  }
  out += "}";
}

void appendGraphic(std::string& out, const GraphicRecord& graphic, const ReportedRun& run) {
  out += "    {";
  appendName(out, "name", graphic.fileName);
  out += ", \"number\": ";
  if (carriesGraphicNumber(graphic.number))
    appendNumber(out, *graphic.number);
  else
    out += "null";
  appendDigest(out, graphic.sha256);
  out += ", \"copies\": [";
  const char* separator = "";
  for (const CopyRecord& copy : graphic.copies) {
    out += separator;
    separator = ", ";
    appendCopy(out, copy, run);
  }
  out += "], \"notCarried\": ";
  if (graphic.notCarried)
    appendString(out, notCarriedText(*graphic.notCarried));
  else
    out += "null";
  out += "}";
}

// Everything before the graphics: the program, the outcome, the images, the folders, the counts.
void appendRun(std::string& out, const ReportedRun& run) {
  const RunRecord& record = *run.record;
  const RunCounts counts = countRun(record);
  out += "  \"formatVersion\": " + std::to_string(JSON_RECORD_FORMAT_VERSION) + ",\n";
  out += "  \"program\": {\"name\": \"" + std::string(run.programName) + "\", \"version\": \"" +
         std::string(run.programVersion) + "\"},\n";
  out += std::string("  \"dryRun\": ") + (run.dryRun ? "true" : "false") + ",\n";
  out += std::string("  \"succeeded\": ") + (run.succeeded ? "true" : "false") + ",\n";
  out += "  \"outcome\": \"" + platform::toUtf8(outcomeName(record.outcome)) + "\",\n";
  appendFirmware(out, "originalFirmware", run.given.originalFirmware, run.absolute.originalFirmware,
                 record.imagesOpened(), record.originalRegionSize, record.originalSha256);
  appendFirmware(out, "newFirmware", run.given.newFirmware, run.absolute.newFirmware, record.imagesOpened(),
                 record.newRegionSize, record.newSha256);
  out += "  ";
  appendName(out, "originalGfx", run.given.originalGfx);
  out += ",\n  ";
  appendAbsolute(out, "originalGfxAbsolute", run.absolute.originalGfx);
  out += ",\n  ";
  appendName(out, "newGfx", run.given.newGfx);
  out += ",\n  ";
  appendAbsolute(out, "newGfxAbsolute", run.absolute.newGfx);
  out += ",\n";
  out += "  \"counts\": {\"walked\": " + std::to_string(counts.walked) +
         ", \"copied\": " + std::to_string(counts.copied) + ", \"duplicate\": " + std::to_string(counts.duplicate) +
         ", \"failed\": " + std::to_string(counts.failed) + ", \"notCarried\": " + std::to_string(counts.notCarried) +
         "},\n";
}

}  // namespace

std::string formatJsonRecord(const ReportedRun& run) {
  const std::vector<GraphicRecord>& graphics = run.record->graphics;
  std::string out(RECORD_START);
  out.reserve(4096 + 400 * graphics.size());  // about what a PNG with one copy takes
  appendRun(out, run);
  out += "  \"graphics\": [";
  const char* separator = "\n";
  for (const GraphicRecord& graphic : graphics) {
    out += separator;
    separator = ",\n";
    appendGraphic(out, graphic, run);
  }
  out += graphics.empty() ? "]\n}\n" : "\n  ]\n}\n";
  return out;
}

bool isJsonRecord(std::string_view fileStart) {
  return fileStart.starts_with(RECORD_START);
}

std::string hexOf(std::span<const std::uint8_t> bytes) {
  std::string hex;
  appendHex(hex, bytes);
  return hex;
}

// The volume, the file (its 128 bits), the birth or creation time and the change time, each in
// hexadecimal, high digits first: "volume-file-born-changed", 16, 32, 16 and 16 digits. Format 5
// had one time: "volume-file-time".
std::string identityText(const platform::FileIdentity& identity) {
  char text[96];
  std::snprintf(text, sizeof text, "%016llx-%016llx%016llx-%016llx-%016llx",
                static_cast<unsigned long long>(identity.volume), static_cast<unsigned long long>(identity.fileHigh),
                static_cast<unsigned long long>(identity.file), static_cast<unsigned long long>(identity.born),
                static_cast<unsigned long long>(identity.changed));
  return text;
}

std::optional<platform::FileIdentity> identityOfText(std::string_view text, int formatVersion) {
  const std::size_t times = formatVersion < 6 ? 1 : 2;
  if (text.size() != 16 + 1 + 32 + times * 17 || text[16] != '-' || text[49] != '-' || (times == 2 && text[66] != '-'))
    return std::nullopt;
  std::string digits =
      std::string(text.substr(0, 16)) + std::string(text.substr(17, 32)) + std::string(text.substr(50, 16));
  if (times == 2) digits += text.substr(67);
  const auto bytes = bytesOfHex(digits);
  if (!bytes) return std::nullopt;
  const auto word = [&bytes](std::size_t at) {
    std::uint64_t value = 0;
    for (std::size_t i = 0; i < 8; ++i) value = value << 8 | static_cast<unsigned char>((*bytes)[at + i]);
    return value;
  };
  if (times == 1) return platform::identityWithOneTime(word(0), word(16), word(8), word(24));
  return platform::FileIdentity{
      .volume = word(0), .file = word(16), .fileHigh = word(8), .born = word(24), .changed = word(32)};
}

std::optional<std::string> bytesOfHex(std::string_view hex) {
  // Lower-case digits only, as hexOf writes them.
  const auto digit = [](char c) { return c >= 'A' && c <= 'F' ? -1 : hexDigitValue(static_cast<unsigned char>(c)); };
  if (hex.size() % 2 != 0) return std::nullopt;
  std::string bytes;
  for (std::size_t i = 0; i < hex.size(); i += 2) {
    const int high = digit(hex[i]), low = digit(hex[i + 1]);
    if (high < 0 || low < 0) return std::nullopt;
    bytes += static_cast<char>(high << 4 | low);
  }
  return bytes;
}

std::optional<std::wstring> nameFromStoredHex(std::string_view hex) {
  const auto bytes = bytesOfHex(hex);
  return bytes ? platform::nameOfStoredBytes(*bytes) : std::nullopt;
}
