// POSIX threads, lock and condition, through the C++ library; each thread starts with the
// interrupts blocked.
#include <algorithm>
#include <condition_variable>
#include <mutex>
#include <system_error>
#include <thread>

#include "platform/platform.h"
#include "platform/posix_files.h"

namespace platform {

struct Thread::State {
  std::thread thread;
};

Thread::State& Thread::state() {
  return state_.as<State>();
}
const Thread::State& Thread::state() const {
  return state_.as<State>();
}
Thread::Thread() {
  state_.make<State>();
}
Thread::~Thread() {
  join();
  state_.unmake<State>();
}

bool Thread::start(std::function<void()> work) {
  if (started()) return false;
  // The new thread starts with the mask of the thread that starts it.
  const posix::InterruptsHeld held;
  try {
    state().thread = std::thread(std::move(work));
  } catch (const std::system_error&) {
    return false;
  }
  return true;
}

bool Thread::started() const {
  return state().thread.joinable();
}

void Thread::join() {
  if (started()) state().thread.join();
}

const unsigned FILE_THREADS_PER_CORE = 1;

unsigned coreCount() {
  return std::max(1u, std::thread::hardware_concurrency());
}

struct Lock::State {
  std::mutex mutex;
};
Lock::State& Lock::state() {
  return state_.as<State>();
}
Lock::Lock() {
  state_.make<State>();
}
Lock::~Lock() {
  state_.unmake<State>();
}
void Lock::acquire() {
  state().mutex.lock();
}
void Lock::release() {
  state().mutex.unlock();
}

struct Condition::State {
  std::condition_variable condition;
};
Condition::State& Condition::state() {
  return state_.as<State>();
}
Condition::Condition() {
  state_.make<State>();
}
Condition::~Condition() {
  state_.unmake<State>();
}
void Condition::wait(Lock& held) {
  std::unique_lock<std::mutex> lock(held.state().mutex, std::adopt_lock);
  state().condition.wait(lock);
  lock.release();  // still held, by the caller
}
void Condition::wakeOne() {
  state().condition.notify_one();
}
void Condition::wakeAll() {
  state().condition.notify_all();
}

}  // namespace platform
