// What a conversion run did with each PNG it walked, for the command line's reports, which say
// it in their own words. The console's words for a copy's result are here, where the run
// writes them.
#pragma once

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
  // The path the copy was made to, as the run composed it (recorded runs only).
  std::wstring destination = {};
  // Why it went there: the anchor word, and the indexes k of the original pair that carries the
  // PNG's number and of the first new pair with the same anchor (bytes 8k to 8k+7 of each image).
  std::uint32_t anchor = 0;
  std::uint32_t originalPair = 0;
  std::uint32_t newPair = 0;
  // For a failed copy: why, as copyFailureText says it.
  std::wstring failure = {};
  // For a copy made only when a step was tried again: how often, and what held it.
  std::wstring retried = {};
  // With digests, for a copy made: which file it is, so that an undo takes back that file
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
  // With digests: the SHA-256 of the PNG's bytes, as copied (its first copy) or as read
  // after its lines; none when it could not be read, and then why.
  std::optional<platform::Sha256Digest> sha256 = std::nullopt;
  std::wstring sha256Failure = {};
};

// How a run ended: before the images were opened, before the original graphics folder was
// walked to its end, with an image changed by another program while it was read (nothing
// copied), or having walked.
enum class RunOutcome { FirmwareNotOpened, FolderNotWalked, FirmwareChanged, Walked };

struct RunRecord {
  RunOutcome outcome = RunOutcome::FirmwareNotOpened;
  std::optional<ImageFailure> imageFailure;  // when the images were not opened
  std::uint32_t originalRegionSize = 0;      // once they were
  std::uint32_t newRegionSize = 0;
  std::wstring walkFailure;  // when the folder was not walked: why, in the system's words
  // With digests: the SHA-256 of each image's bytes as mapped and read; when one is
  // missing, why.
  std::optional<platform::Sha256Digest> originalSha256, newSha256;
  std::wstring originalSha256Failure, newSha256Failure;
  std::vector<GraphicRecord> graphics;  // in walk order

  bool imagesOpened() const { return outcome != RunOutcome::FirmwareNotOpened; }
};

struct RunCounts {
  std::size_t walked = 0;      // PNGs
  std::size_t copied = 0;      // copies made, or that a dry run would make
  std::size_t duplicate = 0;   // copies refused because the destination exists
  std::size_t failed = 0;      // copies that failed
  std::size_t notCarried = 0;  // PNGs that found no new number
};

RunCounts countRun(const RunRecord& record);

// The name a PNG is copied under: the new number as "%04X.png".
std::wstring newGraphicName(std::uint32_t newNumber);

// A copy's result as it ends a console line (" copied successfully").
const wchar_t* consoleResultText(CopyResult result);
// Why a copy failed, with the step that failed: "no space left on device (making the copy)".
std::wstring copyFailureText(const platform::CopyFailure& failure);
