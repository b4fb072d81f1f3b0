#include "engine/digest_worker.h"

#include <algorithm>
#include <new>

namespace {

// The worker is woken for a batch of jobs at a time: a wake is a system call and a switch of
// threads, dearer than hashing a small PNG. Kept sources are open files: a bounded number waits.
// A worker woken for each job makes a recorded run markedly slower (bench/compare_builds.sh;
// figures in docs/benchmarks.md).
constexpr std::size_t BATCH = 64;
constexpr std::size_t MAX_WAITING = 4 * BATCH;
// About a millisecond of hashing.
constexpr std::size_t IMAGE_SLICE = 1u << 20;

DigestWorker::Digest digestOf(std::span<const std::uint8_t> bytes) {
  platform::Sha256 hash;
  hash.update(bytes);
  platform::Sha256Digest digest;
  if (!hash.finish(digest)) return std::nullopt;
  return digest;
}

}  // namespace

DigestWorker::DigestWorker(std::span<const std::uint8_t> original, std::span<const std::uint8_t> updated)
    : images_{original, updated} {
  // With no thread to be had, every digest is made on the caller's thread, the images' at the end.
  thread_.start([this] { work(); });
}

DigestWorker::~DigestWorker() {
  finish();
}

void DigestWorker::hashCopied(std::size_t slot, std::unique_ptr<platform::CopiedSource> source) {
  push({slot, std::move(source), {}});
}

void DigestWorker::hashFile(std::size_t slot, std::wstring path) {
  push({slot, nullptr, std::move(path)});
}

DigestWorker::Digests& DigestWorker::finish() {
  if (thread_.started()) {
    {
      const platform::LockHeld held(lock_);
      closing_ = true;
    }
    jobWaiting_.wakeOne();
    thread_.join();
  }
  // What a worker that gave up left, or all of it when there was none.
  for (Job& job : jobs_) run(job);
  jobs_.clear();
  if (!imagesHashed_) {
    digests_.original = digestOf(images_[0]);
    digests_.updated = digestOf(images_[1]);
    imagesHashed_ = true;
  }
  return digests_;
}

void DigestWorker::push(Job job) {
  if (!thread_.started()) {
    run(job);
    return;
  }
  bool batchReady;
  {
    const platform::LockHeld held(lock_);
    while (jobs_.size() >= MAX_WAITING && !workerGone_) roomForJob_.wait(lock_);
    jobs_.push_back(std::move(job));  // when the worker is gone, finish() runs them
    batchReady = !workerGone_ && jobs_.size() == BATCH;
  }
  if (batchReady) jobWaiting_.wakeOne();
}

// A job that meets a want of memory leaves its slot with neither a digest nor a reason: that is
// its reason.
void DigestWorker::run(Job& job) {
  try {
    platform::Sha256Digest digest;
    std::wstring why;
    const bool hashed =
        job.source ? job.source->digest(digest, why) : platform::sha256OfFile(job.path.c_str(), digest, why);
    job.source.reset();  // the file is closed at once
    if (hashed)
      digests_.pngs.emplace_back(job.slot, digest);
    else
      digests_.failures.emplace_back(job.slot, std::move(why));
  } catch (const std::bad_alloc&) {
    job.source.reset();
  }
}

// Nothing may leave a thread of its own: a worker that cannot go on for want of memory leaves its
// jobs, and the images, to the caller's thread.
void DigestWorker::work() {
  try {
    hashAll();
  } catch (const std::bad_alloc&) {
    const platform::LockHeld held(lock_);
    workerGone_ = true;
  }
  roomForJob_.wakeOne();
}

// The PNGs come first, a batch as soon as one is ready, so that the run never waits for room;
// the images are hashed a slice at a time whenever no batch is ready.
void DigestWorker::hashAll() {
  platform::Sha256 imageHashes[2];
  std::size_t hashed[2] = {0, 0};
  const auto imagesLeft = [&] { return hashed[0] < images_[0].size() || hashed[1] < images_[1].size(); };
  std::deque<Job> batch;
  for (;;) {
    bool closing;
    {
      const platform::LockHeld held(lock_);
      const auto ready = [this] { return closing_ || jobs_.size() >= BATCH; };
      if (!imagesLeft())
        while (!ready()) jobWaiting_.wait(lock_);
      if (ready()) batch.swap(jobs_);
      closing = closing_;
    }
    if (!batch.empty()) {
      roomForJob_.wakeOne();
      for (Job& job : batch) run(job);
      batch.clear();
      continue;
    }
    if (!imagesLeft()) {
      if (closing) break;
      continue;
    }
    const int image = hashed[0] < images_[0].size() ? 0 : 1;
    const std::size_t slice = std::min(IMAGE_SLICE, images_[image].size() - hashed[image]);
    imageHashes[image].update(images_[image].subspan(hashed[image], slice));
    hashed[image] += slice;
  }
  platform::Sha256Digest digest;
  if (imageHashes[0].finish(digest)) digests_.original = digest;
  if (imageHashes[1].finish(digest)) digests_.updated = digest;
  imagesHashed_ = true;
}
