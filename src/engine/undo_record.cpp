// A run's record read into what an undo needs: strict about what it must say, indifferent to how
// a JSON tool has laid it out.
#include "engine/undo.h"

#include "engine/display_text.h"
#include "engine/json_reader.h"
#include "engine/json_record.h"
#include "engine/run_record.h"
#include "platform/utf8.h"

namespace {

// A record of 20,000 PNGs takes about 5 MB.
constexpr std::size_t RECORD_LIMIT = 64u << 20;

std::optional<platform::Sha256Digest> digestFromHex(const JsonValue* value) {
  const auto bytes = value != nullptr && value->isString() ? bytesOfHex(value->text) : std::nullopt;
  platform::Sha256Digest digest;
  if (!bytes || bytes->size() != digest.size()) return std::nullopt;
  std::copy(bytes->begin(), bytes->end(), digest.begin());
  return digest;
}

// A path or name field of the record: its stored form when its text was not valid text.
// Nothing when the field is missing, null or empty.
std::optional<std::wstring> pathField(const JsonValue& object, std::string_view key) {
  if (const JsonValue* stored = object.member(std::string(key) + "StoredHex")) {
    if (!stored->isString()) return std::nullopt;
    return nameFromStoredHex(stored->text);
  }
  const JsonValue* text = object.member(key);
  if (text == nullptr || !text->isString() || text->text.empty()) return std::nullopt;
  return platform::fromUtf8(text->text);
}

// From format 3 on a record holds each path also as the run resolved it; that one is used, so
// that an undo means the same files from any folder.
std::optional<std::wstring> runPath(const JsonValue& object, std::string_view key, std::string_view absoluteKey,
                                    int formatVersion) {
  if (formatVersion >= 3)
    if (auto absolute = pathField(object, absoluteKey)) return absolute;
  return pathField(object, key);
}

// The two images and every walked PNG, where the run read them.
bool readFilesRead(const JsonValue& record, const JsonValue& graphics, int formatVersion,
                   std::vector<std::wstring>& read) {
  for (const char* image : {"originalFirmware", "newFirmware"}) {
    const JsonValue* firmware = record.member(image);
    const auto path = firmware ? runPath(*firmware, "path", "absolutePath", formatVersion) : std::nullopt;
    if (!path) return false;
    read.push_back(*path);
  }
  const auto originalGfx = runPath(record, "originalGfx", "originalGfxAbsolute", formatVersion);
  if (!originalGfx) return false;
  for (const JsonValue& graphic : graphics.items) {
    const auto name = pathField(graphic, "name");
    if (!name) return false;
    read.push_back(platform::inFolder(platform::extendedLengthPath(*originalGfx), *name));
  }
  return true;
}

bool readMadeFiles(const JsonValue& graphics, int formatVersion, std::vector<MadeFile>& made) {
  for (const JsonValue& graphic : graphics.items) {
    const JsonValue* copies = graphic.member("copies");
    if (copies == nullptr || copies->kind != JsonValue::Kind::Array) return false;
    for (const JsonValue& copy : copies->items) {
      const JsonValue* result = copy.member("result");
      const JsonValue* newNumber = copy.member("newNumber");
      if (result == nullptr || !result->isString() || newNumber == nullptr || !newNumber->integer ||
          *newNumber->integer < 0 || *newNumber->integer > 0xFFFFFFFF)
        return false;
      if (result->text != "copied") continue;
      const JsonValue* sha256 = graphic.member("sha256");
      const auto digest = digestFromHex(sha256);
      if (!digest && (sha256 == nullptr || sha256->kind != JsonValue::Kind::Null)) return false;
      std::optional<platform::FileIdentity> identity;
      if (formatVersion >= JSON_RECORD_IDENTITY_VERSION) {
        const JsonValue* field = copy.member("identity");
        if (field == nullptr || (field->kind != JsonValue::Kind::Null && !field->isString())) return false;
        if (field->isString() && !(identity = identityOfText(field->text, formatVersion))) return false;
      }
      made.push_back({static_cast<std::uint32_t>(*newNumber->integer), digest, identity});
    }
  }
  return true;
}

}  // namespace

// A record that cannot be taken back, in one sentence: nothing was removed.
std::wstring recordRefusal(const std::wstring& recordPath, const std::wstring& why) {
  return L"the record " + displayText(recordPath) + L" " + why + L"; nothing was removed";
}

std::optional<RunToUndo> readRunToUndo(std::string_view recordBytes, std::wstring& refusal) {
  // Known by what it says, however a JSON tool has spaced, ordered or escaped it.
  const auto record = parseJson(recordBytes);
  const JsonValue* format = record ? record->member("format") : nullptr;
  const JsonValue* version = record ? record->member("formatVersion") : nullptr;
  if (format == nullptr || !format->isString() || format->text != JSON_RECORD_FORMAT || version == nullptr ||
      !version->integer || *version->integer < 1) {
    refusal = L"is not a record written by glyphwarden-cli --json";
    return std::nullopt;
  }
  if (*version->integer < 2 || *version->integer > JSON_RECORD_FORMAT_VERSION) {
    refusal = *version->integer < 2
                  ? L"is a record of an earlier version (format " + std::to_wstring(*version->integer) +
                        L"), which has no checksums of the copies; take that run back by hand"
                  : L"is a record of a later version (format " + std::to_wstring(*version->integer) + L")";
    return std::nullopt;
  }
  const JsonValue* dryRun = record->member("dryRun");
  if (dryRun == nullptr || dryRun->kind != JsonValue::Kind::Boolean) {
    refusal = L"is damaged: it does not say whether it was a dry run";
    return std::nullopt;
  }
  if (dryRun->boolean) {
    refusal = L"is the record of a dry run, which made no files";
    return std::nullopt;
  }
  RunToUndo run;
  run.formatVersion = static_cast<int>(*version->integer);
  const auto newGfx = runPath(*record, "newGfx", "newGfxAbsolute", run.formatVersion);
  const JsonValue* graphics = record->member("graphics");  // every walked PNG and its copies
  if (!newGfx || graphics == nullptr || graphics->kind != JsonValue::Kind::Array ||
      !readMadeFiles(*graphics, run.formatVersion, run.made) ||
      !readFilesRead(*record, *graphics, run.formatVersion, run.readByTheRun)) {
    refusal = L"is damaged: its folders, its images or its PNGs cannot be read";
    return std::nullopt;
  }
  run.newGfx = *newGfx;
  return run;
}

std::optional<RunToUndo> readRecordToUndo(const std::wstring& recordPath, std::wstring& refusal) {
  std::string bytes;
  std::optional<RunToUndo> run;
  std::wstring why;
  if (std::wstring failure; !platform::readWholeFile(recordPath.c_str(), bytes, RECORD_LIMIT, &failure))
    why = failure == platform::LARGER_THAN_READ ? L"is larger than a record can be (64 MiB)"
                                                : L"cannot be read: " + failure;
  else
    run = readRunToUndo(bytes, why);
  if (!run) refusal = recordRefusal(recordPath, why);
  return run;
}
