// Threads, a lock and a condition, made without asking for memory. Part of the one platform contract,
// platform/platform.h.
#pragma once

#include <cstddef>
#include <functional>
#include <new>

namespace platform {

// The program's own threads, lock and condition, on each system's own primitives: on Windows
// CreateThread, SRWLOCK and CONDITION_VARIABLE, which cannot fail once made, so that nothing in
// the C++ runtime's thread layer (winpthreads) lies between the program and the system.

// Room for a system object kept inside its owner rather than on the heap: making the owner asks
// for no memory, so it cannot fail, and an owner that is a member is never left half made. Each
// system's file defines the State it holds.
template <std::size_t Size>
class StateRoom {
 public:
  template <class State>
  void make() {
    static_assert(sizeof(State) <= Size && alignof(State) <= alignof(std::max_align_t), "StateRoom too small");
    ::new (bytes_) State();
  }
  template <class State>
  void unmake() {
    as<State>().~State();
  }
  template <class State>
  State& as() {
    return *std::launder(reinterpret_cast<State*>(bytes_));
  }
  template <class State>
  const State& as() const {
    return *std::launder(reinterpret_cast<const State*>(bytes_));
  }

 private:
  alignas(std::max_align_t) unsigned char bytes_[Size];
};

// A thread that never takes an interrupt: on Linux SIGINT, SIGTERM and SIGHUP are blocked in it
// from its first instruction, so the main thread takes them and the steps it holds them around
// stay whole (a signal mask is a thread's own). On Windows a console interrupt comes on a thread
// of its own in any case. A thread that was started is joined when this goes.
class Thread {
 public:
  Thread();
  ~Thread();
  Thread(const Thread&) = delete;
  Thread& operator=(const Thread&) = delete;

  // Starts work on a new thread; false, and nothing started, when no thread can be had.
  bool start(std::function<void()> work);
  bool started() const;
  // Waits for the thread to end; it may then be started again.
  void join();

 private:
  struct State;
  State& state();  // each system's file knows State
  const State& state() const;
  StateRoom<64> state_;
};

// How many cores the program's threads can run on, at least 1.
unsigned coreCount();
// Threads of file work worth running on each core: on Windows a file's open, close and rename
// each wait on the system (and on whatever scans a new file as it is closed), so the waits of
// two overlap; on Linux a copy keeps its core busy (bench/compare_builds.sh).
extern const unsigned FILE_THREADS_PER_CORE;

class Lock {
 public:
  Lock();
  ~Lock();
  Lock(const Lock&) = delete;
  Lock& operator=(const Lock&) = delete;
  void acquire();
  void release();

 private:
  friend class Condition;
  struct State;
  State& state();  // each system's file knows State
  StateRoom<64> state_;
};

class LockHeld {
 public:
  explicit LockHeld(Lock& lock) : lock_(lock) { lock_.acquire(); }
  ~LockHeld() { lock_.release(); }
  LockHeld(const LockHeld&) = delete;
  LockHeld& operator=(const LockHeld&) = delete;

 private:
  Lock& lock_;
};

class Condition {
 public:
  Condition();
  ~Condition();
  Condition(const Condition&) = delete;
  Condition& operator=(const Condition&) = delete;
  // Releases the held lock while it waits, and holds it again before it returns; it may return
  // without a wake, so the caller waits in a loop until what it waits for holds.
  void wait(Lock& held);
  void wakeOne();
  void wakeAll();

 private:
  struct State;
  State& state();  // each system's file knows State
  StateRoom<64> state_;
};

}  // namespace platform
