#include "engine/copy_pool.h"

#include <algorithm>
#include <new>

namespace {

// Copies asked ahead of the one the run waits for: enough to keep every thread busy while the
// run says the oldest, few enough that the sources kept open for hashing stay few.
constexpr std::size_t AHEAD_PER_THREAD = 8;
constexpr unsigned MOST_THREADS = 8;

}  // namespace

unsigned CopyPool::threadsWorthwhile() {
  // A copy mostly waits on the system (its open, create, close and rename), so two per core.
  return std::min(MOST_THREADS, 2 * platform::coreCount());
}

CopyPool::CopyPool(unsigned threads, Copy copy) : copy_(std::move(copy)), capacity_(1) {
  threads = std::min(threads, MOST_THREADS);
  if (threads < 2) return;
  capacity_ = threads * AHEAD_PER_THREAD;
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
  changed_.wakeAll();
}

bool CopyPool::full() const {
  return entries_.size() >= capacity_;
}

bool CopyPool::empty() const {
  return entries_.empty();
}

void CopyPool::ask(CopyJob job) {
  const platform::LockHeld held(lock_);
  entries_.push_back({std::move(job), State::Asked});
  changed_.wakeAll();
}

CopyJob& CopyPool::front() {
  return entries_.front().job;
}

bool CopyPool::frontReady() {
  const platform::LockHeld held(lock_);
  return started_ == 0 || entries_.front().state == State::Made;
}

bool CopyPool::frontStarted() {
  const platform::LockHeld held(lock_);
  return entries_.front().state != State::Asked;
}

void CopyPool::waitForFront() {
  Entry& entry = entries_.front();
  {
    const platform::LockHeld held(lock_);
    // Without threads, or with every one gone, the caller makes it itself.
    if (started_ > 0 && !stopping_) {
      while (entry.state != State::Made) changed_.wait(lock_);
      return;
    }
    if (entry.state == State::Made) return;
    while (entry.state == State::Taken) changed_.wait(lock_);
    if (entry.state == State::Made) return;
    entry.state = State::Taken;
  }
  make(entry);
}

void CopyPool::pop() {
  const platform::LockHeld held(lock_);
  entries_.pop_front();
}

// The oldest copy asked that no earlier copy to the same new number still waits for or makes.
CopyPool::Entry* CopyPool::takeable() {
  for (auto it = entries_.begin(); it != entries_.end(); ++it) {
    if (it->state != State::Asked) continue;
    const bool waits = std::any_of(entries_.begin(), it, [&](const Entry& earlier) {
      return earlier.state != State::Made && earlier.job.translation.newNumber == it->job.translation.newNumber;
    });
    if (!waits) return &*it;
  }
  return nullptr;
}

void CopyPool::work() {
  for (;;) {
    Entry* entry = nullptr;
    {
      const platform::LockHeld held(lock_);
      while (!stopping_ && (entry = takeable()) == nullptr) changed_.wait(lock_);
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
  changed_.wakeAll();
}
