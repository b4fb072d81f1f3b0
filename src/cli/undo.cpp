#include "cli/undo.h"

#include <algorithm>

#include "cli/display_text.h"
#include "cli/json_reader.h"
#include "cli/json_record.h"
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

// The folder as the run was given it: its stored form when its text is not valid text.
std::optional<std::wstring> newGfxOf(const JsonValue& record) {
  if (const JsonValue* stored = record.member("newGfxStoredHex")) {
    if (!stored->isString()) return std::nullopt;
    return nameFromStoredHex(stored->text);
  }
  const JsonValue* text = record.member("newGfx");
  if (text == nullptr || !text->isString() || text->text.empty()) return std::nullopt;
  return platform::fromUtf8(text->text);
}

bool readMadeFiles(const JsonValue& record, std::vector<MadeFile>& made) {
  const JsonValue* graphics = record.member("graphics");
  if (graphics == nullptr || graphics->kind != JsonValue::Kind::Array) return false;
  for (const JsonValue& graphic : graphics->items) {
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
      made.push_back({static_cast<std::uint32_t>(*newNumber->integer), digest});
    }
  }
  return true;
}

const wchar_t* keptBecause(platform::Removal removal) {
  switch (removal) {
    case platform::Removal::Changed: return L"changed since the run";
    case platform::Removal::NotRegular: return L"not a regular file";
    case platform::Removal::OtherLinks: return L"linked to another name since the run";
    case platform::Removal::Unreadable: return L"could not be read";
    default: break;
  }
  return L"could not be removed";
}

void writeLine(platform::Stream stream, const std::wstring& line) {
  platform::writeText(stream, line + L"\r\n");
}

}  // namespace

std::optional<RunToUndo> readRunToUndo(std::string_view recordBytes, std::wstring& refusal) {
  const auto record = isJsonRecord(recordBytes) ? parseJson(recordBytes) : std::nullopt;
  const JsonValue* version = record ? record->member("formatVersion") : nullptr;
  if (!record || version == nullptr || !version->integer) {
    refusal = L"is not a record written by glyphwarden-cli --json";
    return std::nullopt;
  }
  if (*version->integer != JSON_RECORD_FORMAT_VERSION) {
    refusal = *version->integer < JSON_RECORD_FORMAT_VERSION
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
  const auto newGfx = newGfxOf(*record);
  if (!newGfx || !readMadeFiles(*record, run.made)) {
    refusal = L"is damaged: its new graphics folder or its copies cannot be read";
    return std::nullopt;
  }
  run.newGfx = *newGfx;
  return run;
}

int undoRun(const std::wstring& recordPath, bool dryRun) {
  std::string bytes;
  std::wstring refusal;
  std::optional<RunToUndo> run;
  if (!platform::readWholeFile(recordPath.c_str(), bytes, RECORD_LIMIT))
    refusal = L"cannot be read, or is larger than a record can be (64 MiB)";
  else
    run = readRunToUndo(bytes, refusal);
  if (!run) {
    writeLine(platform::Stream::Error,
              L"glyphwarden-cli: the record " + displayText(recordPath) + L" " + refusal + L"; nothing was removed");
    return 2;
  }

  writeLine(platform::Stream::Output, L"new graphics folder: " + displayText(run->newGfx));
  std::size_t removed = 0, kept = 0, missing = 0;
  for (const MadeFile& file : run->made) {
    const std::wstring name = newGraphicName(file.newNumber);
    // Composed as the run composed it.
    const std::wstring path = run->newGfx + platform::PATH_SEPARATOR + name;
    if (!file.sha256) {
      ++kept;
      writeLine(platform::Stream::Output, L"kept " + name + L": the record has no checksum of it");
      continue;
    }
    const platform::Removal removal = platform::removeIfDigest(path.c_str(), *file.sha256, dryRun);
    if (removal == platform::Removal::Removed) {
      ++removed;
      writeLine(platform::Stream::Output, (dryRun ? L"would remove " : L"removed ") + name);
    } else if (removal == platform::Removal::Missing) {
      ++missing;
      writeLine(platform::Stream::Output, name + L": not there any more");
    } else {
      ++kept;
      writeLine(platform::Stream::Output, L"kept " + name + L": " + keptBecause(removal));
    }
  }
  writeLine(platform::Stream::Output, std::to_wstring(removed) + (dryRun ? L" would be removed, " : L" removed, ") +
                                          std::to_wstring(kept) + L" kept, " + std::to_wstring(missing) +
                                          L" not there any more");
  const bool flushed = platform::flushText(platform::Stream::Output);
  return kept == 0 && flushed ? 0 : 1;
}
