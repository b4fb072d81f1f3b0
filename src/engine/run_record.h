// What a conversion run did with each PNG it walked, for the command line's reports. The
// console says the same in its own words; nothing here changes what it says.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "engine/firmware_image.h"
#include "engine/graphic_number.h"
#include "platform/platform.h"

enum class CopyResult { Copied, WouldCopy, Duplicate, Failed };

// Why a walked PNG went nowhere.
enum class NotCarried { NotAGraphicNumber, NumberNotInOriginal, NoMatchingAnchor };

struct CopyRecord {
  std::uint32_t newNumber;
  CopyResult result;
  // For a duplicate, once the reports have compared them: whether the file already at the
  // destination has the same bytes as the PNG that was not copied.
  std::optional<bool> identicalToExisting = std::nullopt;
  // The path the copy was made to, as the run composed it (recorded runs only).
  std::wstring destination = {};
  // Why it went there: the anchor word, and the indexes k of the original pair that carries the
  // PNG's number and of the first new pair with the same anchor (bytes 8k to 8k+7 of each image).
  std::uint32_t anchor = 0;
  std::uint32_t originalPair = 0;
  std::uint32_t newPair = 0;
  // For a failed copy: why, as copyFailureText says it.
  std::wstring failure = {};
  // With fingerprints, for a copy made: which file it is, so that an undo takes back that file
  // alone; none when the system could not tell.
  std::optional<platform::FileIdentity> made = std::nullopt;
};

struct GraphicRecord {
  std::wstring fileName;
  std::optional<std::uint32_t> number;  // as scanned from the name; 0 is not a graphic number
  std::vector<CopyRecord> copies;       // one per new number, in the console's order
  std::optional<NotCarried> notCarried;
  // The PNG's path, as the run composed it (recorded runs only; empty when it did not fit).
  std::wstring path = {};
  // With fingerprints: the SHA-256 of the PNG's bytes, as copied (its first copy) or as read
  // after its lines; none when it could not be read, and then why.
  std::optional<platform::Sha256Digest> sha256 = std::nullopt;
  std::wstring sha256Failure = {};
};

struct RunRecord {
  bool imagesOpened = false;
  std::optional<ImageFailure> imageFailure;  // when the images were not opened
  std::uint32_t originalRegionSize = 0;
  std::uint32_t newRegionSize = 0;
  bool walked = false;         // the original graphics folder was walked to its end
  std::wstring walkFailure;    // when it was not: why, in the system's words
  bool imagesChanged = false;  // another program changed an image while it was read: nothing copied
  // With fingerprints: the SHA-256 of each image's bytes as mapped and read; when one is
  // missing, why.
  std::optional<platform::Sha256Digest> originalSha256, newSha256;
  std::wstring originalSha256Failure, newSha256Failure;
  std::vector<GraphicRecord> graphics;  // in walk order
};

struct RunCounts {
  std::size_t walked = 0;      // PNGs
  std::size_t copied = 0;      // copies made, or that a dry run would make
  std::size_t duplicate = 0;   // copies refused because the destination exists
  std::size_t failed = 0;      // copies that failed
  std::size_t notCarried = 0;  // PNGs that found no new number
};

RunCounts countRun(const RunRecord& record);

// The counts in the order every report gives them, each with its label ("copied", or "would
// copy" in a dry run) and whether it is good news, a warning or bad news.
enum class CountTone { Plain, Good, Warning, Bad };
struct CountLine {
  const wchar_t* label;
  std::size_t count;
  CountTone tone;
};
std::array<CountLine, 5> countLines(const RunCounts& counts, bool dryRun);

// How a run ended, told once for every report: the record's name for it ("firmware not
// opened") and the sentence the reports say of it, or an empty one for a run that walked.
enum class RunOutcome { FirmwareNotOpened, FolderNotWalked, FirmwareChanged, Walked };
RunOutcome outcomeOf(const RunRecord& record);
const wchar_t* outcomeName(RunOutcome outcome);
const wchar_t* outcomeSentence(RunOutcome outcome);

// The name a PNG is copied under: the new number as "%04X.png".
std::wstring newGraphicName(std::uint32_t newNumber);

// The words the user reads, each written once: a copy's result as it ends a console line
// (" copied successfully"), the same result as a short label in the reports ("copied"), and why
// a PNG was not carried.
const wchar_t* consoleResultText(CopyResult result);
const wchar_t* resultLabel(CopyResult result);
const wchar_t* notCarriedText(NotCarried reason);
// Why a copy failed, with the step that failed: "no space left on device (making the copy)".
std::wstring copyFailureText(const platform::CopyFailure& failure);
