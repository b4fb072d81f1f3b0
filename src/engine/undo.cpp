#include "engine/undo.h"

#include "console/append_log.h"
#include "engine/display_text.h"
#include "engine/json_record.h"

namespace {

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

// Each line through the host's sink, as a run reports its own.
void writeLine(const std::wstring& line) {
  appendLog((line + L"\r\n").c_str());
}

}  // namespace

namespace {

// What undo will do with one file the run made: its name, and where its bytes are now (under
// its name, or under the private name of an undo that was ended between its steps).
struct Planned {
  std::wstring name;
  std::wstring path;      // the name in the new graphics folder
  std::wstring leftover;  // empty: the file is looked for under its name
  platform::Removal outcome = platform::Removal::Missing;
  std::wstring why;  // the system's reason, where outcome is a failure it gave one for
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
  const std::wstring folder = platform::extendedLengthPath(run.newGfx);
  for (std::size_t i = 0; i < plan.size(); ++i) {
    plan[i].name = newGraphicName(run.made[i].newNumber);
    plan[i].path = platform::inFolder(folder, plan[i].name);
    if (run.made[i].sha256 && removable(run, run.made[i]))
      plan[i].outcome = platform::removeIfDigest(plan[i].path.c_str(), *run.made[i].sha256, true, spared,
                                                 identityOf(run.made[i]), &plan[i].why);
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
  std::wstring from, why = planned.why;
  if (!planned.leftover.empty()) {
    if (!dryRun) removal = platform::removeIfDigest(planned.leftover.c_str(), *file.sha256, false, spared);
    if (removal == platform::Removal::Removed)
      from = L" (left as " + displayText(std::wstring(platform::nameOf(planned.leftover))) +
             L" by an undo that was ended)";
    else
      removal = platform::Removal::Missing;  // taken meanwhile: what stands under its name counts
  }
  if (from.empty() && !dryRun)
    removal = platform::removeIfDigest(planned.path.c_str(), *file.sha256, false, spared, identityOf(file), &why);
  if (removal == platform::Removal::Removed) {
    ++counts.removed;
    writeLine((dryRun ? L"would remove " : L"removed ") + planned.name + from);
  } else if (removal == platform::Removal::Missing) {
    ++counts.missing;
    writeLine(planned.name + L": not there any more");
  } else {
    ++counts.kept;
    const bool failed = removal == platform::Removal::Unreadable || removal == platform::Removal::NotRemoved;
    writeLine(L"kept " + planned.name + L": " + keptBecause(removal) + (failed && !why.empty() ? L": " + why : L""));
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
