// The SHA-256 digests a recorded run asks for, made on a thread of its own so that the run's
// copies do not wait for them: the images first, then each PNG, through the source its copy kept
// open or, when nothing was copied, by its path.
#pragma once

#include <cstddef>
#include <deque>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "platform/platform.h"

// Why a PNG has no digest: the reason its job gave, or, with none, the want of memory it met.
inline std::wstring digestFailureText(const std::wstring& why) {
  return why.empty() ? std::wstring(platform::NOT_ENOUGH_MEMORY) : why;
}

class DigestWorker {
 public:
  using Digest = std::optional<platform::Sha256Digest>;
  struct Digests {
    Digest original, updated;  // the images'
    // Each PNG's that could be hashed, with its slot, in no set order. A slot whose PNG could not
    // be read, or changed since its copy, has none, and is among failures with the reason.
    std::vector<std::pair<std::size_t, platform::Sha256Digest>> pngs;
    std::vector<std::pair<std::size_t, std::wstring>> failures;
  };

  // Starts hashing the two images at once; they must stay mapped until finish().
  DigestWorker(std::span<const std::uint8_t> original, std::span<const std::uint8_t> updated);
  // Waits for every digest asked for (as finish() does), and lets the thread go.
  ~DigestWorker();
  DigestWorker(const DigestWorker&) = delete;
  DigestWorker& operator=(const DigestWorker&) = delete;

  // The PNG of slot, through the source of its copy.
  void hashCopied(std::size_t slot, std::unique_ptr<platform::CopiedSource> source);
  // The PNG of slot, read at its path.
  void hashFile(std::size_t slot, std::wstring path);

  // Waits for every digest asked for.
  Digests& finish();

 private:
  struct Job {
    std::size_t slot;
    std::unique_ptr<platform::CopiedSource> source;
    std::wstring path;
  };
  void push(Job job);
  void run(Job& job);
  void work();
  void hashAll();

  std::span<const std::uint8_t> images_[2];
  Digests digests_;  // written by the thread that runs the jobs; read once it is joined
  platform::Lock lock_;
  platform::Condition jobWaiting_, roomForJob_;
  std::deque<Job> jobs_;
  bool closing_ = false;
  bool workerGone_ = false;    // the worker gave up for want of memory; finish() does the rest
  bool imagesHashed_ = false;  // by the worker
  platform::Thread thread_;
};
