// What the command line says on standard error about a run: a digest a record needs and does
// not have, and why a run ended before its copies.
#include "cli/run_errors.h"

#include "engine/digest_worker.h"
#include "engine/display_text.h"
#include "platform/platform.h"

void writeError(std::wstring_view problem) {
  platform::writeText(platform::Stream::Error, L"glyphwarden-cli: " + std::wstring(problem) + L"\r\n");
}

// A recorded run promises the digest of each image and of every file it walked, and which file
// each copy is (--undo takes back only a copy it knows by both). False, saying which file and
// why, when one is missing.
bool digestsMade(const RunRecord& record, const RunPaths& paths) {
  if (record.outcome != RunOutcome::Walked) return true;
  bool made = true;
  const auto missing = [&made](std::wstring_view file, const std::wstring& why) {
    writeError(L"cannot make the SHA-256 checksum of " + displayText(file) + L": " + digestFailureText(why));
    made = false;
  };
  if (!record.originalSha256) missing(paths.originalFirmware, record.originalSha256Failure);
  if (!record.newSha256) missing(paths.newFirmware, record.newSha256Failure);
  for (const GraphicRecord& graphic : record.graphics) {
    // A folder or a device named like a PNG has no bytes to vouch for; the record says null.
    if (!graphic.sha256 && !platform::namesNoRegularFile(graphic.sha256Failure))
      missing(graphic.path.empty() ? graphic.fileName : graphic.path, graphic.sha256Failure);
    for (const CopyRecord& copy : graphic.copies)
      if (copy.result == CopyResult::Copied && !copy.made) {
        writeError(L"cannot tell which file the copy " + displayText(copy.destination) + L" is; --undo will keep it");
        made = false;
      }
  }
  return made;
}

// Why the run ended before its copies, in a line that names the file.
void explainEnd(const RunRecord& record, const RunPaths& paths) {
  const std::wstring why = whyRunEnded(record, paths);
  if (why.empty()) return;
  if (const auto& failure = record.imageFailure)
    writeError(L"cannot open the " + std::wstring(failure->original ? L"original" : L"new") + L" firmware " +
               displayText(failure->original ? paths.originalFirmware : paths.newFirmware) + L": " + why);
  else
    writeError(L"cannot read the original graphics folder " + displayText(paths.originalGfx) + L": " + why);
}
