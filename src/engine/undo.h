// Takes back what one run made, by its JSON record (glyphwarden-cli --undo RECORD, and the
// window's undo of its last Start). Only files the record names as copied, still holding the
// bytes the run copied, are removed.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/platform.h"

// What a record says a run made: its new graphics folder and each file it copied there.
struct MadeFile {
  std::uint32_t newNumber;
  // None when the run could not hash what it copied (its source changed just after the copy):
  // such a file is never removed.
  std::optional<platform::Sha256Digest> sha256;
  // Which file the run made, from format 5 on; none in a format 5 record when the run could not
  // tell, and then the file is never removed.
  std::optional<platform::FileIdentity> identity = std::nullopt;
};
struct RunToUndo {
  int formatVersion = 0;
  std::wstring newGfx;         // absolute from format 3 on; earlier records give it as the run was given it
  std::vector<MadeFile> made;  // in the record's order
  // The files the run read: its two firmware images and every PNG it walked. Undo never
  // removes any of them, whatever the record says it made.
  std::vector<std::wstring> readByTheRun;
};

// Reads a record; on failure says why in refusal ("is the record of a dry run: ...").
std::optional<RunToUndo> readRunToUndo(std::string_view recordBytes, std::wstring& refusal);

// Reads the record at recordPath; on failure says why in refusal, a whole sentence that names
// the record and ends "; nothing was removed", as recordRefusal makes it.
std::optional<RunToUndo> readRecordToUndo(const std::wstring& recordPath, std::wstring& refusal);
std::wstring recordRefusal(const std::wstring& recordPath, const std::wstring& why);

// What an undo did: its counts, or why it removed nothing at all.
struct UndoCounts {
  std::size_t removed = 0, kept = 0, missing = 0;
  // Set when the record cannot be used, its folder is not there, or it would have a file the
  // run read removed: then nothing was removed and no line was reported.
  std::wstring refusal;
};

// Takes back the run of the record read from recordPath (with dryRun, only says what would become
// of each file), reporting the folder, a line per file and the counts through appendLog.
UndoCounts undoRun(const RunToUndo& run, const std::wstring& recordPath, bool dryRun);
// The same, reading the record first.
UndoCounts undoRun(const std::wstring& recordPath, bool dryRun);
