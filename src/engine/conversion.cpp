#include "engine/conversion.h"

#include <algorithm>
#include <cwchar>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "console/append_log.h"
#include "engine/bounded_text.h"
#include "engine/digest_worker.h"
#include "engine/firmware_image.h"
#include "engine/graphic_number.h"
#include "engine/translation_index.h"
#include "platform/platform.h"

namespace {

CopyResult resultOf(platform::CopyOutcome outcome, bool dryRun) {
  switch (outcome) {
    case platform::CopyOutcome::Copied: return dryRun ? CopyResult::WouldCopy : CopyResult::Copied;
    case platform::CopyOutcome::DestinationExists: return CopyResult::Duplicate;
    case platform::CopyOutcome::Failed: break;
  }
  return CopyResult::Failed;
}

class GraphicCopier {
 public:
  GraphicCopier(std::wstring_view originalGfxFolder, std::wstring_view newGfxFolder, bool dryRun)
      : originalGfxFolder_(originalGfxFolder), newGfxFolder_(newGfxFolder), dryRun_(dryRun) {
    if (!dryRun) folders_.emplace(originalGfxFolder, newGfxFolder);
  }

  // Each in a buffer of the run's own, as long as the system takes a path: valid until the
  // next call of the same kind.
  const PathText& sourcePath(std::wstring_view fileName) { return inFolder(*source_, originalGfxFolder_, fileName); }
  const PathText& destinationPath(std::uint32_t newNumber) {
    return inFolder(*destination_, newGfxFolder_, newGraphicName(newNumber));
  }

  bool dryRun() const { return dryRun_; }

  // A path that does not fit its buffer is never truncated: that copy is refused, in a run and
  // in a dry run alike.
  // Given kept, a copy made hands over its source, still open; given made, says which file it
  // made. A copy that fails says why.
  CopyResult copy(const PathText& source, const PathText& destination, std::unique_ptr<platform::CopiedSource>* kept,
                  platform::FileIdentity* made, platform::CopyFailure& failure) {
    if (!fit(source, destination, failure)) return CopyResult::Failed;
    return resultOf(
        platform::copyWithoutOverwrite(source.c_str(), destination.c_str(), failure, kept, &*folders_, made), false);
  }
  // What a run would do with the copy, given the copies planned before it.
  CopyResult plan(const PathText& source, const PathText& destination, std::uint32_t newNumber,
                  platform::CopyFailure& failure) {
    if (!fit(source, destination, failure)) return CopyResult::Failed;
    if (plannedNumbers_.contains(newNumber)) return CopyResult::Duplicate;
    const CopyResult result = resultOf(platform::previewCopy(source.c_str(), destination.c_str(), failure), true);
    if (result == CopyResult::WouldCopy) plannedNumbers_.insert(newNumber);
    return result;
  }

 private:
  static bool fit(const PathText& source, const PathText& destination, platform::CopyFailure& failure) {
    if (source.fits() && destination.fits()) return true;
    return failure.stopped(source.fits() ? platform::CopyStep::PutInPlace : platform::CopyStep::OpenSource,
                           platform::PATH_TOO_LONG);
  }

  static const PathText& inFolder(PathText& path, std::wstring_view folder, std::wstring_view name) {
    path.clear();
    platform::appendInFolder(path, folder, name);
    return path;
  }

  std::unique_ptr<PathText> source_ = std::make_unique<PathText>(), destination_ = std::make_unique<PathText>();
  std::wstring_view originalGfxFolder_;
  std::wstring_view newGfxFolder_;
  bool dryRun_;
  std::optional<platform::CopyFolders> folders_;  // what a real run copies between
  std::set<std::uint32_t> plannedNumbers_;        // what a dry run would have written so far
};

CopyResult reportAndCopy(std::uint32_t number, std::uint32_t newNumber, const PathText& source,
                         const PathText& destination, GraphicCopier& copier,
                         std::unique_ptr<platform::CopiedSource>* kept, platform::FileIdentity* made,
                         platform::CopyFailure& failure) {
  std::wstring line;
  appendCopyNumbers(line, number, newNumber);
  appendLog(line.c_str());

  const CopyResult copied = copier.dryRun() ? copier.plan(source, destination, newNumber, failure)
                                            : copier.copy(source, destination, kept, made, failure);
  // Said without asking for memory: a copy made is always said, whatever memory is left.
  wchar_t result[48];
  std::swprintf(result, std::size(result), L"%ls\r\n", consoleResultText(copied));
  appendLog(result);
  return copied;
}

// An image's bytes as mapped: the file's length of them.
std::span<const std::uint8_t> fileBytes(const FirmwareImage& image) {
  const std::span<const std::uint8_t> bytes = image.bytes();
  return bytes.first(static_cast<std::size_t>(std::min<std::uint64_t>(image.image.fileLength(), bytes.size())));
}

// How the walk of the original folder ended: walked to its end, not begun, or cut short.
enum class WalkEnd { Walked, NotFound, CutShort };

// Reads the walk of the original folder whole, so that each image is read once for all the
// numbers: every PNG into graphics (recorded runs; otherwise only those with a number), every
// graphic number into numbers. A walk that did not end keeps why in failure.
WalkEnd readWalk(GraphicCopier& copier, bool recorded, std::vector<GraphicRecord>& graphics,
                 std::vector<std::uint32_t>& numbers, std::wstring& failure) {
  const PathText& pattern = copier.sourcePath(L"*.png");
  platform::DirectoryWalk walk;
  if (!pattern.fits() || !walk.start(pattern.c_str())) {
    failure = pattern.fits() ? walk.failure() : platform::PATH_TOO_LONG;
    return WalkEnd::NotFound;
  }
  do {
    const auto number = scanGraphicNumber(walk.name());
    if (carriesGraphicNumber(number)) numbers.push_back(*number);
    if (recorded) {
      const PathText& path = copier.sourcePath(walk.name());
      graphics.push_back({walk.name(), number, {}, std::nullopt, path.fits() ? path.c_str() : L""});
    } else if (number) {
      graphics.push_back({walk.name(), number, {}, std::nullopt});
    }
  } while (walk.next());
  if (walk.failure().empty()) return WalkEnd::Walked;
  // A walk cut short would carry some PNGs and silently leave the rest.
  graphics.clear();
  failure = walk.failure();
  return WalkEnd::CutShort;
}

// What one run carries its PNGs with.
struct CarryingRun {
  const TranslationIndex& index;
  GraphicCopier& copier;
  DigestWorker* digests;  // null unless the run makes digests
  bool recorded;
};

// Copies the PNG of slot to each of its new numbers, in the index's order, and notes in graphic
// what became of it. Names without a number, and number 0, are skipped in silence.
void carryGraphic(std::size_t slot, GraphicRecord& graphic, CarryingRun& run) {
  bool hashAsked = false;
  const PathText& source = run.copier.sourcePath(graphic.fileName);
  if (!carriesGraphicNumber(graphic.number)) {
    graphic.notCarried = NotCarried::NotAGraphicNumber;
  } else {
    std::vector<TranslationIndex::Translation> translations;
    run.index.translate(*graphic.number, translations);
    for (const TranslationIndex::Translation& translation : translations) {
      const PathText& destination = run.copier.destinationPath(translation.newNumber);
      // The first copy made is hashed through the source it read.
      std::unique_ptr<platform::CopiedSource> kept;
      platform::FileIdentity made;
      platform::CopyFailure failure;
      const CopyResult result =
          reportAndCopy(*graphic.number, translation.newNumber, source, destination, run.copier,
                        run.digests && !hashAsked ? &kept : nullptr, run.digests ? &made : nullptr, failure);
      if (kept) {
        run.digests->hashCopied(slot, std::move(kept));
        hashAsked = true;
      }
      if (!run.recorded) continue;
      graphic.copies.push_back({.newNumber = translation.newNumber,
                                .result = result,
                                .destination = destination.fits() ? destination.c_str() : L"",
                                .anchor = translation.anchor,
                                .originalPair = translation.originalPair,
                                .newPair = translation.newPair,
                                .failure = result == CopyResult::Failed ? copyFailureText(failure) : L"",
                                .retried = result == CopyResult::Copied ? failure.retried : L"",
                                .made = result == CopyResult::Copied && run.digests && made != platform::FileIdentity{}
                                            ? std::optional(made)
                                            : std::nullopt});
    }
    if (translations.empty())
      graphic.notCarried =
          run.index.carries(*graphic.number) ? NotCarried::NoMatchingAnchor : NotCarried::NumberNotInOriginal;
  }
  if (run.digests && !hashAsked && source.fits()) run.digests->hashFile(slot, source.c_str());
}

// The digests of the run, into its record once every one is made.
void recordDigests(DigestWorker& digests, const FirmwareImagePair& images, RunRecord& record) {
  const DigestWorker::Digests& made = digests.finish();
  for (const auto& [slot, digest] : made.pngs) record.graphics[slot].sha256 = digest;
  for (const auto& [slot, why] : made.failures) record.graphics[slot].sha256Failure = why;
  // Hashed while the copies were made: a digest stands only for an image still unchanged.
  const auto recordImage = [](const FirmwareImage& image, const DigestWorker::Digest& digest,
                              std::optional<platform::Sha256Digest>& recorded, std::wstring& failure) {
    if (!image.image.unchangedSinceMapped())
      failure = L"it changed during the run";
    else if (!digest)
      failure = platform::HASHING_FAILED;
    else
      recorded = digest;
  };
  recordImage(images.original(), made.original, record.originalSha256, record.originalSha256Failure);
  recordImage(images.newImage(), made.updated, record.newSha256, record.newSha256Failure);
}

}  // namespace

bool runConversion(const RunPaths& paths, const ConversionOptions& options) {
  RunRecord unrecorded;
  RunRecord& record = options.record ? *options.record : unrecorded;
  record = RunRecord{};

  FirmwareImagePair images;
  if (!openForRun(images, std::wstring(paths.originalFirmware).c_str(), std::wstring(paths.newFirmware).c_str())) {
    record.imageFailure = images.failure();
    return false;
  }
  record.outcome = RunOutcome::FolderNotWalked;
  record.originalRegionSize = images.original().regionSize;
  record.newRegionSize = images.newImage().regionSize;

  // Made exact once: each name the walk gives is then joined to them as it stands.
  const std::wstring originalGfx = platform::extendedLengthPath(paths.originalGfx),
                     newGfx = platform::extendedLengthPath(paths.newGfx);
  GraphicCopier copier(originalGfx, newGfx, options.dryRun);
  std::vector<std::uint32_t> numbers;
  // The pair is released by its owner, in its order, when the walk did not end.
  switch (readWalk(copier, options.record != nullptr, record.graphics, numbers, record.walkFailure)) {
    case WalkEnd::NotFound:
      appendLog(L"original gfx dir not found..\r\n");  // the tool's own words, kept as they have always been
      return false;
    case WalkEnd::CutShort:
      appendLog((L"cannot read the original gfx folder: " + record.walkFailure + L"\r\n").c_str());
      return false;
    case WalkEnd::Walked: break;
  }
  record.outcome = RunOutcome::Walked;

  TranslationIndex index;
  index.build(images.original().bytes(), images.newImage().bytes(), std::move(numbers));
  // Every read of the images is behind this point: an image changed meanwhile ends the run
  // before anything is copied.
  if (!images.confirmUnchanged()) {
    record.outcome = RunOutcome::FirmwareChanged;
    return false;
  }
  // Started once the index is built, which has both cores to itself until then.
  std::optional<DigestWorker> digests;
  if (options.record && options.digests) digests.emplace(fileBytes(images.original()), fileBytes(images.newImage()));
  CarryingRun run{index, copier, digests ? &*digests : nullptr, options.record != nullptr};
  for (std::size_t slot = 0; slot < record.graphics.size(); ++slot) carryGraphic(slot, record.graphics[slot], run);
  if (digests) recordDigests(*digests, images, record);
  return true;
}

std::wstring whyRunEnded(const RunRecord& record, const RunPaths& paths) {
  if (const auto& failure = record.imageFailure) {
    if (failure->original) return failure->reason;
    // The other image holds it already: the same file given twice.
    const platform::FileStatus image = platform::statusOf(std::wstring(paths.newFirmware).c_str());
    if (image.sameFileAs(platform::statusOf(std::wstring(paths.originalFirmware).c_str())))
      return L"it is the same file as the original firmware";
    return failure->reason;
  }
  if (record.outcome == RunOutcome::FolderNotWalked) return record.walkFailure;
  return {};
}
