// The copies of a run, made on a few threads of their own while the run goes on, and handed back
// in the order they were asked for, so that the run says and records each as a run on one
// thread does. Two copies to one new number are never in flight at once: the later waits for
// the earlier, so that the later is the one that finds the file there, as in the walk's order.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "engine/translation_index.h"
#include "platform/platform.h"

// One copy: what it is to do, and once made, what became of it.
struct CopyJob {
  std::size_t slot = 0;  // the walked PNG's
  TranslationIndex::Translation translation = {};
  std::wstring source, destination;  // empty when the path did not fit
  bool keepSource = false;           // a copy made hands over its source, still open

  platform::CopyOutcome outcome = platform::CopyOutcome::Failed;
  platform::CopyFailure failure = {};
  std::unique_ptr<platform::CopiedSource> kept = nullptr;
  platform::FileIdentity made = {};
  bool outOfMemory = false;  // the copy met a want of memory, and ends the run as it would
};

class CopyPool {
 public:
  using Copy = std::function<void(CopyJob&)>;

  // At most threads copies in flight at once. With fewer than two, or no thread to be had, each
  // copy is made on the caller's thread when it is waited for, as a run without a pool makes it.
  CopyPool(unsigned threads, Copy copy);
  // No copy that has not begun is made; those in flight end first.
  ~CopyPool();
  CopyPool(const CopyPool&) = delete;
  CopyPool& operator=(const CopyPool&) = delete;

  // How many copies a run on this machine keeps in flight: enough that the waits of each on the
  // system overlap, at most 8. A run that hashes gives its digest worker a thread's place: on
  // two cores a third thread made a recorded Linux run a tenth slower (bench/compare_builds.sh).
  static unsigned threadsWorthwhile(bool hashing);

  // Whether as many copies are asked and not yet taken back as the pool holds.
  bool full() const;
  bool empty() const;
  // Asks for a copy; it may begin at once.
  void ask(CopyJob job);
  // The oldest copy asked and not yet taken back; whether it can be had without waiting for
  // another thread, and whether it began at all. waitForFront() waits until it is made, or makes
  // it on the caller's thread; pop() takes it back.
  CopyJob& front();
  bool frontReady();
  bool frontStarted();
  void waitForFront();
  void pop();
  // From now on no copy begins; those in flight end.
  void stop();

 private:
  enum class State { Asked, Taken, Made };
  struct Entry {
    CopyJob job;
    State state = State::Asked;
  };
  void work();
  Entry& at(std::size_t i) { return ring_[(head_ + i) % capacity_]; }  // the i-th oldest
  Entry* takeable();                                                   // under the lock
  void make(Entry& entry);

  Copy copy_;
  platform::Lock lock_;
  // Each wakes only who waits for it: a wake is a system call and a switch of threads, dearer
  // than a small PNG's copy. A thread that makes a copy takes the next itself.
  platform::Condition workAsked_, frontMade_;
  bool frontAwaited_ = false;
  bool stopping_ = false;
  std::size_t capacity_;
  // The copies asked and not yet taken back, oldest first, in room made once: a thread's entry
  // stays where it is while others are asked and taken back.
  std::unique_ptr<Entry[]> ring_;
  std::size_t head_ = 0, count_ = 0;
  std::unique_ptr<platform::Thread[]> threads_;
  unsigned started_ = 0;
};
