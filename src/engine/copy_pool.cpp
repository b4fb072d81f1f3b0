#include "engine/copy_pool.h"

#include <algorithm>
#include <new>

namespace {

// Copies asked ahead of the one the run waits for: enough to keep every thread busy while the
// run says the oldest, few enough that the sources kept open for hashing stay few.
constexpr std::size_t AHEAD_PER_THREAD = 8;
constexpr unsigned MOST_THREADS = 8;

}  // namespace

unsigned CopyPool::threadsWorthwhile(bool hashing) {
  const unsigned worthwhile = std::min(MOST_THREADS, platform::FILE_THREADS_PER_CORE * platform::coreCount());
  return hashing && worthwhile > 1 ? worthwhile - 1 : worthwhile;
}

CopyPool::CopyPool(unsigned threads, Copy copy)
    : copy_(std::move(copy)), capacity_(1), ring_(std::make_unique<Entry[]>(1)) {
  threads = std::min(threads, MOST_THREADS);
  if (threads < 2) return;
  capacity_ = threads * AHEAD_PER_THREAD;
  ring_ = std::make_unique<Entry[]>(capacity_);
  threads_ = std::make_unique<platform::Thread[]>(threads);
  while (started_ < threads && threads_[started_].start([this] { work(); })) ++started_;
}

CopyPool::~CopyPool() {
  stop();
  for (unsigned i = 0; i < started_; ++i) threads_[i].join();
}

void CopyPool::stop() {
  const platform::LockHeld held(lock_);
  stopping_ = true;
  workAsked_.wakeAll();
  frontMade_.wakeAll();
}

bool CopyPool::full() const {
  return count_ == capacity_;
}

bool CopyPool::empty() const {
  return count_ == 0;
}

void CopyPool::ask(CopyJob job) {
  const platform::LockHeld held(lock_);
  Entry& entry = at(count_++);
  entry.job = std::move(job);
  entry.state = State::Asked;
  workAsked_.wakeOne();
}

CopyJob& CopyPool::front() {
  return at(0).job;
}

bool CopyPool::frontReady() {
  const platform::LockHeld held(lock_);
  return started_ == 0 || at(0).state == State::Made;
}

bool CopyPool::frontStarted() {
  const platform::LockHeld held(lock_);
  return at(0).state != State::Asked;
}

void CopyPool::waitForFront() {
  Entry& entry = at(0);
  {
    const platform::LockHeld held(lock_);
    frontAwaited_ = true;
    if (started_ > 0 && !stopping_) {
      while (entry.state != State::Made) frontMade_.wait(lock_);
      frontAwaited_ = false;
      return;
    }
    // Without threads, or with them stopped, the caller makes a copy that has not begun itself.
    while (entry.state == State::Taken) frontMade_.wait(lock_);
    frontAwaited_ = false;
    if (entry.state == State::Made) return;
    entry.state = State::Taken;
  }
  make(entry);
}

void CopyPool::pop() {
  const platform::LockHeld held(lock_);
  head_ = (head_ + 1) % capacity_;
  --count_;
}

// The oldest copy asked that no earlier copy to the same new number still waits for or makes.
CopyPool::Entry* CopyPool::takeable() {
  for (std::size_t i = 0; i < count_; ++i) {
    Entry& entry = at(i);
    if (entry.state != State::Asked) continue;
    bool waits = false;
    for (std::size_t j = 0; j < i && !waits; ++j)
      waits = at(j).state != State::Made && at(j).job.translation.newNumber == entry.job.translation.newNumber;
    if (!waits) return &entry;
  }
  return nullptr;
}

void CopyPool::work() {
  for (;;) {
    Entry* entry = nullptr;
    {
      const platform::LockHeld held(lock_);
      while (!stopping_ && (entry = takeable()) == nullptr) workAsked_.wait(lock_);
      if (stopping_) return;
      entry->state = State::Taken;
    }
    make(*entry);
  }
}

// Nothing may leave a thread of its own: a copy that meets a want of memory says so, and the run
// ends there as it would have on its own thread.
void CopyPool::make(Entry& entry) {
  try {
    copy_(entry.job);
  } catch (const std::bad_alloc&) {
    entry.job.outOfMemory = true;
  }
  const platform::LockHeld held(lock_);
  entry.state = State::Made;
  if (frontAwaited_ && &entry == &at(0)) frontMade_.wakeOne();
}
