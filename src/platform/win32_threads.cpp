// Win32 threads, lock and condition: the system's own, with nothing of the C++ runtime's thread
// layer between. SRWLOCK and CONDITION_VARIABLE need no memory of their own and cannot fail.
#include <windows.h>

#include "platform/platform.h"
#include "platform/win32_files.h"

namespace platform {

namespace {

DWORD WINAPI runWork(void* work) {
  (*static_cast<std::function<void()>*>(work))();
  return 0;
}

}  // namespace

// The work lives here, not on the new thread, so that nothing is allocated once it runs.
struct Thread::State {
  std::function<void()> work;
  win32::ThreadHandle handle;
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
  state().work = std::move(work);
  state().handle = win32::ThreadHandle(CreateThread(nullptr, 0, runWork, &state().work, 0, nullptr));
  return started();
}

bool Thread::started() const {
  return state().handle.valid();
}

void Thread::join() {
  if (!started()) return;
  // A wait on a thread of one's own that fails would leave its work running on freed state.
  while (WaitForSingleObject(state().handle.get(), INFINITE) == WAIT_FAILED) Sleep(1);
  state().handle.close();
}

const unsigned FILE_THREADS_PER_CORE = 2;

unsigned coreCount() {
  SYSTEM_INFO info = {};
  GetSystemInfo(&info);
  return info.dwNumberOfProcessors > 0 ? info.dwNumberOfProcessors : 1;
}

struct Lock::State {
  SRWLOCK lock = SRWLOCK_INIT;
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
  AcquireSRWLockExclusive(&state().lock);
}
void Lock::release() {
  ReleaseSRWLockExclusive(&state().lock);
}

struct Condition::State {
  CONDITION_VARIABLE condition = CONDITION_VARIABLE_INIT;
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
  // Without a time limit it fails only on a lock not held; the caller's loop asks again.
  SleepConditionVariableSRW(&state().condition, &held.state().lock, INFINITE, 0);
}
void Condition::wakeOne() {
  WakeConditionVariable(&state().condition);
}
void Condition::wakeAll() {
  WakeAllConditionVariable(&state().condition);
}

}  // namespace platform
