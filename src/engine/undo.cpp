#include "engine/undo.h"

#include <algorithm>

#include "console/append_log.h"
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
    read.push_back(platform::inFolder(platform::exactPath(*originalGfx), *name));
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

const wchar_t* keptBecause(platform::Removal removal) {
  switch (removal) {
    case platform::Removal::Changed: return L"changed since the run";
    case platform::Removal::NotRegular: return L"not a regular file";
    case platform::Removal::OtherLinks: return L"linked to another name since the run";
    case platform::Removal::Unreadable: return L"could not be read";
    case platform::Removal::ReadByTheRun: return L"a file the run read";
    case platform::Removal::NotTheFileMade: return L"not the file the run made";
    case platform::Removal::StateChanged:
      return L"its state changed since the run, so it cannot be told from a file put in its place";
    case platform::Removal::Removed:
    case platform::Removal::Missing:
    case platform::Removal::NotRemoved: break;
  }
  return L"could not be removed";
}

// A record that cannot be taken back, in one sentence: nothing was removed.
std::wstring recordRefusal(const std::wstring& recordPath, const std::wstring& why) {
  return L"the record " + displayText(recordPath) + L" " + why + L"; nothing was removed";
}

// Each line through the host's sink, as a run reports its own.
void writeLine(const std::wstring& line) {
  appendLog((line + L"\r\n").c_str());
}

}  // namespace

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

namespace {

// What undo will do with one file the run made: its name, and where its bytes are now (under
// its name, or under the private name of an undo that was ended between its steps).
struct Planned {
  std::wstring name;
  std::wstring path;      // the name in the new graphics folder
  std::wstring leftover;  // empty: the file is looked for under its name
  platform::Removal outcome = platform::Removal::Missing;
};

// A file left under an undo's private name is taken for the first copy that is not there any
// more and has its bytes.
// A leftover is known by its private name and its bytes: the undo that moved it aside changed
// what its identity says (its change time, on Linux).
void findLeftovers(const RunToUndo& run, const std::wstring& folder, std::vector<Planned>& plan,
                   std::span<const platform::FileStatus> spared) {
  platform::DirectoryWalk walk;
  const std::wstring pattern =
      platform::inFolder(folder, std::wstring(platform::REMOVAL_ASIDE_PREFIX) + L"*" + platform::PRIVATE_NAME_SUFFIX);
  if (!walk.start(pattern.c_str())) return;
  do {
    const std::wstring leftover = platform::inFolder(folder, walk.name());
    platform::Sha256Digest digest;
    std::wstring why;  // a leftover that cannot be read is not taken for a copy
    if (!platform::sha256OfFile(leftover.c_str(), digest, why)) continue;
    for (std::size_t i = 0; i < plan.size(); ++i) {
      if (plan[i].outcome != platform::Removal::Missing || !plan[i].leftover.empty() || run.made[i].sha256 != digest)
        continue;
      const platform::Removal outcome = platform::removeIfDigest(leftover.c_str(), digest, true, spared);
      if (outcome == platform::Removal::Removed || outcome == platform::Removal::ReadByTheRun) {
        plan[i].leftover = leftover;
        plan[i].outcome = outcome;
      }
      break;
    }
  } while (walk.next());
}

// The files the run read, as each is now: known by identity, whatever their names.
std::vector<platform::FileStatus> filesTheRunRead(const RunToUndo& run) {
  std::vector<platform::FileStatus> spared;
  for (const std::wstring& path : run.readByTheRun)
    if (const platform::FileStatus status = platform::statusOf(path.c_str());
        status.kind == platform::FileKind::Regular)
      spared.push_back(status);
  return spared;
}

// A record that says which file each copy is has each taken back only as that file; one made
// before says nothing of it.
bool removable(const RunToUndo& run, const MadeFile& file) {
  return run.formatVersion < JSON_RECORD_IDENTITY_VERSION || file.identity;
}
const platform::FileIdentity* identityOf(const MadeFile& file) {
  return file.identity ? &*file.identity : nullptr;
}

// Every file checked, none removed: what would become of each.
std::vector<Planned> planRemovals(const RunToUndo& run, std::span<const platform::FileStatus> spared) {
  std::vector<Planned> plan(run.made.size());
  // Made exact once: the names are joined to it as they stand.
  const std::wstring folder = platform::exactPath(run.newGfx);
  for (std::size_t i = 0; i < plan.size(); ++i) {
    plan[i].name = newGraphicName(run.made[i].newNumber);
    plan[i].path = platform::inFolder(folder, plan[i].name);
    if (run.made[i].sha256 && removable(run, run.made[i]))
      plan[i].outcome =
          platform::removeIfDigest(plan[i].path.c_str(), *run.made[i].sha256, true, spared, identityOf(run.made[i]));
  }
  findLeftovers(run, folder, plan, spared);
  return plan;
}

// Takes back one file the run made (or, with dryRun, says what would become of it), and prints
// its line.
void undoFile(const RunToUndo& run, const Planned& planned, const MadeFile& file, bool dryRun,
              std::span<const platform::FileStatus> spared, UndoCounts& counts) {
  if (!file.sha256 || !removable(run, file)) {
    ++counts.kept;
    writeLine(L"kept " + planned.name + L": the record has no " + (file.sha256 ? L"identity" : L"checksum") +
              L" of it");
    return;
  }
  platform::Removal removal = planned.outcome;
  std::wstring from;
  if (!planned.leftover.empty()) {
    if (!dryRun) removal = platform::removeIfDigest(planned.leftover.c_str(), *file.sha256, false, spared);
    if (removal == platform::Removal::Removed)
      from = L" (left as " + displayText(std::wstring(platform::nameOf(planned.leftover))) +
             L" by an undo that was ended)";
    else
      removal = platform::Removal::Missing;  // taken meanwhile: what stands under its name counts
  }
  if (from.empty() && !dryRun)
    removal = platform::removeIfDigest(planned.path.c_str(), *file.sha256, false, spared, identityOf(file));
  if (removal == platform::Removal::Removed) {
    ++counts.removed;
    writeLine((dryRun ? L"would remove " : L"removed ") + planned.name + from);
  } else if (removal == platform::Removal::Missing) {
    ++counts.missing;
    writeLine(planned.name + L": not there any more");
  } else {
    ++counts.kept;
    writeLine(L"kept " + planned.name + L": " + keptBecause(removal));
  }
}

// The folder the undo works in, and how a record of an earlier format found it.
void writeFolderLines(const RunToUndo& run) {
  writeLine(L"new graphics folder: " + displayText(run.newGfx));
  if (run.formatVersion < 3)
    if (const auto absolute = platform::absolutePath(run.newGfx); absolute && *absolute != run.newGfx)
      writeLine(L"(format " + std::to_wstring(run.formatVersion) +
                L" records it as given: taken from the current folder, " + displayText(*absolute) + L")");
  if (run.formatVersion < JSON_RECORD_IDENTITY_VERSION)
    writeLine(L"(a format " + std::to_wstring(run.formatVersion) +
              L" record does not say which file each copy is: this undo goes by name "
              L"and checksum alone)");
}

}  // namespace

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

UndoCounts undoRun(const std::wstring& recordPath, bool dryRun) {
  UndoCounts counts;
  const std::optional<RunToUndo> run = readRecordToUndo(recordPath, counts.refusal);
  return run ? undoRun(*run, recordPath, dryRun) : counts;
}

UndoCounts undoRun(const RunToUndo& run, const std::wstring& recordPath, bool dryRun) {
  UndoCounts counts;
  // Without its folder every copy would be "not there any more", as if it had been taken back.
  if (const platform::FileStatus folder = platform::statusOf(run.newGfx.c_str());
      folder.kind != platform::FileKind::Folder) {
    counts.refusal = folder.kind == platform::FileKind::Unknown
                         ? L"cannot check the new graphics folder " + displayText(run.newGfx) + L": " + folder.why +
                               L"; nothing was removed"
                         : L"the new graphics folder " + displayText(run.newGfx) +
                               L" is not there: moved or renamed? nothing was removed";
    return counts;
  }

  // Every file is checked before the first is removed, so that a record that would have undo
  // take a file the run read removes nothing.
  const std::vector<platform::FileStatus> spared = filesTheRunRead(run);
  const std::vector<Planned> plan = planRemovals(run, spared);
  for (const Planned& planned : plan)
    if (planned.outcome == platform::Removal::ReadByTheRun) {
      counts.refusal = recordRefusal(
          recordPath, L"names " + displayText(planned.leftover.empty() ? planned.path : planned.leftover) +
                          L" as a copy, but it is a file the run read");
      return counts;
    }

  writeFolderLines(run);
  for (std::size_t i = 0; i < plan.size(); ++i) undoFile(run, plan[i], run.made[i], dryRun, spared, counts);
  writeLine(std::to_wstring(counts.removed) + (dryRun ? L" would be removed, " : L" removed, ") +
            std::to_wstring(counts.kept) + L" kept, " + std::to_wstring(counts.missing) + L" not there any more");
  return counts;
}
