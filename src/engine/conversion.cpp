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
#include "engine/copy_pool.h"
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

  // Makes the copy (in a dry run, says what a run would do with it, given the copies planned
  // before it). A path that did not fit is never truncated: that copy is refused, in a run and
  // in a dry run alike. A copy that fails says why.
  void copy(CopyJob& job) {
    if (job.source.empty() || job.destination.empty()) {
      job.outcome =
          job.failure.failed(job.source.empty() ? platform::CopyStep::OpenSource : platform::CopyStep::PutInPlace,
                             platform::PATH_TOO_LONG);
      return;
    }
    if (!dryRun_) {
      job.outcome = platform::copyWithoutOverwrite(job.source.c_str(), job.destination.c_str(), job.failure,
                                                   job.keepSource ? &job.kept : nullptr, &*folders_,
                                                   job.keepSource ? &job.made : nullptr);
    } else if (plannedNumbers_.contains(job.translation.newNumber)) {
      job.outcome = platform::CopyOutcome::DestinationExists;
    } else {
      job.outcome = platform::previewCopy(job.source.c_str(), job.destination.c_str(), job.failure);
      if (job.outcome == platform::CopyOutcome::Copied) plannedNumbers_.insert(job.translation.newNumber);
    }
  }

 private:
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

// A copy's line, said without asking for memory: a copy made is always said, whatever memory is
// left. Its numbers first, when the run begins to wait for it; then what became of it.
void sayCopyBegun(std::uint32_t number, std::uint32_t newNumber) {
  BoundedText<48> line;
  appendCopyNumbers(line, number, newNumber);
  appendLog(line.c_str());
}
void sayCopyMade(CopyResult result) {
  wchar_t line[48];
  std::swprintf(line, std::size(line), L"%ls\r\n", consoleResultText(result));
  appendLog(line);
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

// What one run carries its PNGs with: each copy asked in the walk's order, then said and
// recorded in that order once made, while later ones are made.
class CarryingRun {
 public:
  CarryingRun(const TranslationIndex& index, GraphicCopier& copier, DigestWorker* digests, bool recorded,
              std::vector<GraphicRecord>& graphics, unsigned threads)
      : index_(index),
        copier_(copier),
        digests_(digests),
        recorded_(recorded),
        graphics_(graphics),
        waiting_(graphics.size(), 0),
        hashAsked_(graphics.size(), false),
        pool_(threads, [&copier](CopyJob& job) { copier.copy(job); }) {}

  // Copies every PNG to each of its new numbers, in the walk's and then the index's order.
  void carryAll() {
    for (std::size_t slot = 0; slot < graphics_.size(); ++slot) carryGraphic(slot);
    while (!pool_.empty()) takeBackOldest();
  }

  // After a failure mid-run (a want of memory): every copy that began is waited for and said,
  // in order, so that none is made unsaid; none other begins, and nothing more is recorded.
  void sayWhatWasMade() {
    pool_.stop();
    bool lineOpen = begunSaid_;  // the oldest's numbers are said, and nothing after them
    for (bool oldest = true; !pool_.empty(); pool_.pop(), oldest = false) {
      if (!pool_.frontStarted()) continue;
      pool_.waitForFront();
      const CopyJob& job = pool_.front();
      if (job.outOfMemory) continue;
      if (!oldest || !begunSaid_) {
        if (lineOpen) appendLog(L"\r\n");
        sayCopyBegun(*graphics_[job.slot].number, job.translation.newNumber);
      }
      sayCopyMade(resultOf(job.outcome, copier_.dryRun()));
      lineOpen = false;
    }
    begunSaid_ = false;
  }

 private:
  // Asks for the copies of the PNG of slot, and notes in its record what becomes of it. Names
  // without a number, and number 0, are skipped in silence.
  void carryGraphic(std::size_t slot) {
    GraphicRecord& graphic = graphics_[slot];
    if (!carriesGraphicNumber(graphic.number)) {
      graphic.notCarried = NotCarried::NotAGraphicNumber;
      return graphicDone(slot);
    }
    translations_.clear();
    index_.translate(*graphic.number, translations_);
    if (translations_.empty()) {
      graphic.notCarried =
          index_.carries(*graphic.number) ? NotCarried::NoMatchingAnchor : NotCarried::NumberNotInOriginal;
      return graphicDone(slot);
    }
    const PathText& source = copier_.sourcePath(graphic.fileName);
    const std::wstring sourceText = source.fits() ? source.c_str() : L"";
    waiting_[slot] = translations_.size();
    for (const TranslationIndex::Translation& translation : translations_) {
      while (pool_.full()) takeBackOldest();
      const PathText& destination = copier_.destinationPath(translation.newNumber);
      pool_.ask({.slot = slot,
                 .translation = translation,
                 .source = sourceText,
                 .destination = destination.fits() ? destination.c_str() : L"",
                 .keepSource = digests_ != nullptr});
      while (!pool_.empty() && pool_.frontReady()) takeBackOldest();
    }
  }

  // Says the oldest copy asked, waiting for it if need be, and records it.
  void takeBackOldest() {
    CopyJob& oldest = pool_.front();
    if (!begunSaid_) sayCopyBegun(*graphics_[oldest.slot].number, oldest.translation.newNumber);
    begunSaid_ = true;
    pool_.waitForFront();
    if (oldest.outOfMemory) throw std::bad_alloc();
    const CopyResult result = resultOf(oldest.outcome, copier_.dryRun());
    sayCopyMade(result);
    begunSaid_ = false;
    CopyJob job = std::move(oldest);
    pool_.pop();
    record(job, result);
  }

  void record(CopyJob& job, CopyResult result) {
    const std::size_t slot = job.slot;
    // The first copy made is hashed through the source it read.
    if (job.kept && !hashAsked_[slot]) {
      digests_->hashCopied(slot, std::move(job.kept));
      hashAsked_[slot] = true;
    }
    if (recorded_)
      graphics_[slot].copies.push_back(
          {.newNumber = job.translation.newNumber,
           .result = result,
           .destination = std::move(job.destination),
           .anchor = job.translation.anchor,
           .originalPair = job.translation.originalPair,
           .newPair = job.translation.newPair,
           .failure = result == CopyResult::Failed ? copyFailureText(job.failure) : L"",
           .retried = result == CopyResult::Copied ? job.failure.retried : L"",
           .made = result == CopyResult::Copied && digests_ && job.made != platform::FileIdentity{}
                       ? std::optional(job.made)
                       : std::nullopt});
    if (--waiting_[slot] == 0) graphicDone(slot);
  }

  // A PNG none of whose copies was made is hashed as read.
  void graphicDone(std::size_t slot) {
    if (digests_ == nullptr || hashAsked_[slot]) return;
    const PathText& source = copier_.sourcePath(graphics_[slot].fileName);
    if (source.fits()) digests_->hashFile(slot, source.c_str());
  }

  const TranslationIndex& index_;
  GraphicCopier& copier_;
  DigestWorker* digests_;  // null unless the run makes digests
  bool recorded_;
  std::vector<GraphicRecord>& graphics_;
  std::vector<std::size_t> waiting_;  // each PNG's copies not yet taken back
  std::vector<bool> hashAsked_;
  std::vector<TranslationIndex::Translation> translations_;
  bool begunSaid_ = false;  // the oldest copy's numbers are said, not yet what became of it
  CopyPool pool_;           // last: its threads end before what they use goes
};

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
  const unsigned threads = options.dryRun    ? 1
                           : options.threads ? options.threads
                                             : CopyPool::threadsWorthwhile(digests.has_value());
  CarryingRun run(index, copier, digests ? &*digests : nullptr, options.record != nullptr, record.graphics, threads);
  try {
    run.carryAll();
  } catch (...) {
    run.sayWhatWasMade();
    throw;
  }
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
