// glyphwarden-fault-shim.dll: loaded into a program before its first instruction (see
// fault_run.cpp), it puts a wrapper in the program's import table for every call below that
// the program imports. Each wrapper counts its calls; the one named by
//   GLYPHWARDEN_FAULT=Function:N:Error
// fails its Nth call (1-based) as the system would: the call's failure value, with Error as the
// last error (Windows calls), as errno (C runtime calls) or as the returned NTSTATUS (BCrypt).
//   GLYPHWARDEN_FAULT_COUNTS=FILE
// gets a "Function count" line per wrapped call when the process ends.
// Only the program's own imports are replaced: calls the runtime DLLs make among themselves
// are neither counted nor failed. The shim itself calls the system directly (its own imports).
#include <windows.h>

#include <bcrypt.h>
#include <errno.h>
#include <io.h>
#include <malloc.h>
#include <process.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <winternl.h>

#define KERNEL32 "kernel32.dll"
#define MSVCRT "msvcrt.dll"
#define BCRYPT "bcrypt.dll"
#define NTDLL "ntdll.dll"

// X(how it fails, DLL, return type, name, failure value, parameters, arguments). "WIN" sets the
// last error, "CRT" sets errno (and is __cdecl), "NT" returns the error as the status. Calls
// that cannot fail (void ones, critical sections, Sleep) are not here.
#define WRAPPED_CALLS(X)                                                                                               \
  X(WIN, KERNEL32, HANDLE, CreateFileW, INVALID_HANDLE_VALUE,                                                          \
    (LPCWSTR n, DWORD a, DWORD s, LPSECURITY_ATTRIBUTES sa, DWORD c, DWORD f, HANDLE t), (n, a, s, sa, c, f, t))       \
  X(WIN, KERNEL32, BOOL, ReadFile, FALSE, (HANDLE h, LPVOID b, DWORD n, LPDWORD r, LPOVERLAPPED o), (h, b, n, r, o))   \
  X(WIN, KERNEL32, BOOL, WriteFile, FALSE, (HANDLE h, LPCVOID b, DWORD n, LPDWORD w, LPOVERLAPPED o), (h, b, n, w, o)) \
  X(WIN, KERNEL32, BOOL, WriteConsoleW, FALSE, (HANDLE h, const void* b, DWORD n, LPDWORD w, LPVOID r),                \
    (h, b, n, w, r))                                                                                                   \
  X(WIN, KERNEL32, BOOL, GetConsoleMode, FALSE, (HANDLE h, LPDWORD m), (h, m))                                         \
  X(WIN, KERNEL32, HANDLE, GetStdHandle, INVALID_HANDLE_VALUE, (DWORD n), (n))                                         \
  X(WIN, KERNEL32, BOOL, SetConsoleCtrlHandler, FALSE, (PHANDLER_ROUTINE r, BOOL a), (r, a))                           \
  X(WIN, KERNEL32, BOOL, CloseHandle, FALSE, (HANDLE h), (h))                                                          \
  X(WIN, KERNEL32, BOOL, DuplicateHandle, FALSE,                                                                       \
    (HANDLE sp, HANDLE s, HANDLE tp, LPHANDLE t, DWORD a, BOOL i, DWORD o), (sp, s, tp, t, a, i, o))                   \
  X(WIN, KERNEL32, DWORD, GetFileType, FILE_TYPE_UNKNOWN, (HANDLE h), (h))                                             \
  X(WIN, KERNEL32, BOOL, GetFileInformationByHandle, FALSE, (HANDLE h, LPBY_HANDLE_FILE_INFORMATION i), (h, i))        \
  X(WIN, KERNEL32, BOOL, GetFileInformationByHandleEx, FALSE,                                                          \
    (HANDLE h, FILE_INFO_BY_HANDLE_CLASS c, LPVOID i, DWORD n), (h, c, i, n))                                          \
  X(WIN, KERNEL32, BOOL, SetFileInformationByHandle, FALSE,                                                            \
    (HANDLE h, FILE_INFO_BY_HANDLE_CLASS c, LPVOID i, DWORD n), (h, c, i, n))                                          \
  X(WIN, KERNEL32, DWORD, GetFileAttributesW, INVALID_FILE_ATTRIBUTES, (LPCWSTR n), (n))                               \
  X(WIN, KERNEL32, BOOL, SetFileAttributesW, FALSE, (LPCWSTR n, DWORD a), (n, a))                                      \
  X(WIN, KERNEL32, BOOL, GetFileSizeEx, FALSE, (HANDLE h, PLARGE_INTEGER s), (h, s))                                   \
  X(WIN, KERNEL32, BOOL, SetFilePointerEx, FALSE, (HANDLE h, LARGE_INTEGER d, PLARGE_INTEGER p, DWORD m),              \
    (h, d, p, m))                                                                                                      \
  X(WIN, KERNEL32, BOOL, FlushFileBuffers, FALSE, (HANDLE h), (h))                                                     \
  X(WIN, KERNEL32, HANDLE, CreateFileMappingW, nullptr,                                                                \
    (HANDLE h, LPSECURITY_ATTRIBUTES sa, DWORD p, DWORD hi, DWORD lo, LPCWSTR n), (h, sa, p, hi, lo, n))               \
  X(WIN, KERNEL32, LPVOID, MapViewOfFile, nullptr, (HANDLE h, DWORD a, DWORD hi, DWORD lo, SIZE_T n),                  \
    (h, a, hi, lo, n))                                                                                                 \
  X(WIN, KERNEL32, BOOL, UnmapViewOfFile, FALSE, (LPCVOID v), (v))                                                     \
  X(WIN, KERNEL32, SIZE_T, VirtualQuery, 0, (LPCVOID a, PMEMORY_BASIC_INFORMATION i, SIZE_T n), (a, i, n))             \
  X(WIN, KERNEL32, LPVOID, VirtualAlloc, nullptr, (LPVOID a, SIZE_T n, DWORD t, DWORD p), (a, n, t, p))                \
  X(WIN, KERNEL32, BOOL, VirtualFree, FALSE, (LPVOID a, SIZE_T n, DWORD t), (a, n, t))                                 \
  X(WIN, KERNEL32, BOOL, VirtualProtect, FALSE, (LPVOID a, SIZE_T n, DWORD p, PDWORD o), (a, n, p, o))                 \
  X(WIN, KERNEL32, HANDLE, FindFirstFileW, INVALID_HANDLE_VALUE, (LPCWSTR n, LPWIN32_FIND_DATAW d), (n, d))            \
  X(WIN, KERNEL32, HANDLE, FindFirstFileExW, INVALID_HANDLE_VALUE,                                                     \
    (LPCWSTR n, FINDEX_INFO_LEVELS l, LPVOID d, FINDEX_SEARCH_OPS o, LPVOID f, DWORD x), (n, l, d, o, f, x))           \
  X(WIN, KERNEL32, BOOL, FindNextFileW, FALSE, (HANDLE h, LPWIN32_FIND_DATAW d), (h, d))                               \
  X(WIN, KERNEL32, BOOL, FindClose, FALSE, (HANDLE h), (h))                                                            \
  X(WIN, KERNEL32, BOOL, CopyFileW, FALSE, (LPCWSTR s, LPCWSTR d, BOOL f), (s, d, f))                                  \
  X(WIN, KERNEL32, BOOL, CopyFileExW, FALSE,                                                                           \
    (LPCWSTR s, LPCWSTR d, LPPROGRESS_ROUTINE p, LPVOID x, LPBOOL c, DWORD f), (s, d, p, x, c, f))                     \
  X(WIN, KERNEL32, BOOL, MoveFileW, FALSE, (LPCWSTR s, LPCWSTR d), (s, d))                                             \
  X(WIN, KERNEL32, BOOL, MoveFileExW, FALSE, (LPCWSTR s, LPCWSTR d, DWORD f), (s, d, f))                               \
  X(WIN, KERNEL32, BOOL, ReplaceFileW, FALSE, (LPCWSTR r, LPCWSTR w, LPCWSTR b, DWORD f, LPVOID x, LPVOID y),          \
    (r, w, b, f, x, y))                                                                                                \
  X(WIN, KERNEL32, BOOL, DeleteFileW, FALSE, (LPCWSTR n), (n))                                                         \
  X(WIN, KERNEL32, BOOL, CreateDirectoryW, FALSE, (LPCWSTR n, LPSECURITY_ATTRIBUTES sa), (n, sa))                      \
  X(WIN, KERNEL32, BOOL, RemoveDirectoryW, FALSE, (LPCWSTR n), (n))                                                    \
  X(WIN, KERNEL32, DWORD, GetFullPathNameW, 0, (LPCWSTR n, DWORD l, LPWSTR b, LPWSTR * f), (n, l, b, f))               \
  X(WIN, KERNEL32, DWORD, GetFinalPathNameByHandleW, 0, (HANDLE h, LPWSTR b, DWORD l, DWORD f), (h, b, l, f))          \
  X(NT, NTDLL, NTSTATUS, NtQueryObject, 0, (HANDLE h, OBJECT_INFORMATION_CLASS c, PVOID b, ULONG l, PULONG r),         \
    (h, c, b, l, r))                                                                                                   \
  X(WIN, KERNEL32, DWORD, GetCurrentDirectoryW, 0, (DWORD l, LPWSTR b), (l, b))                                        \
  X(WIN, KERNEL32, HANDLE, CreateThread, nullptr,                                                                      \
    (LPSECURITY_ATTRIBUTES sa, SIZE_T n, LPTHREAD_START_ROUTINE f, LPVOID p, DWORD c, LPDWORD i), (sa, n, f, p, c, i)) \
  X(WIN, KERNEL32, DWORD, ResumeThread, (DWORD)-1, (HANDLE h), (h))                                                    \
  X(WIN, KERNEL32, DWORD, SuspendThread, (DWORD)-1, (HANDLE h), (h))                                                   \
  X(WIN, KERNEL32, BOOL, GetThreadContext, FALSE, (HANDLE h, LPCONTEXT c), (h, c))                                     \
  X(WIN, KERNEL32, BOOL, SetThreadContext, FALSE, (HANDLE h, const CONTEXT* c), (h, c))                                \
  X(WIN, KERNEL32, BOOL, SetThreadPriority, FALSE, (HANDLE h, int p), (h, p))                                          \
  X(WIN, KERNEL32, int, GetThreadPriority, THREAD_PRIORITY_ERROR_RETURN, (HANDLE h), (h))                              \
  X(WIN, KERNEL32, BOOL, GetProcessAffinityMask, FALSE, (HANDLE h, PDWORD_PTR p, PDWORD_PTR s), (h, p, s))             \
  X(WIN, KERNEL32, BOOL, SetProcessAffinityMask, FALSE, (HANDLE h, DWORD_PTR m), (h, m))                               \
  X(WIN, KERNEL32, HANDLE, CreateEventA, nullptr, (LPSECURITY_ATTRIBUTES sa, BOOL m, BOOL i, LPCSTR n), (sa, m, i, n)) \
  X(WIN, KERNEL32, HANDLE, CreateEventW, nullptr, (LPSECURITY_ATTRIBUTES sa, BOOL m, BOOL i, LPCWSTR n),               \
    (sa, m, i, n))                                                                                                     \
  X(WIN, KERNEL32, BOOL, SetEvent, FALSE, (HANDLE h), (h))                                                             \
  X(WIN, KERNEL32, BOOL, ResetEvent, FALSE, (HANDLE h), (h))                                                           \
  X(WIN, KERNEL32, HANDLE, CreateSemaphoreA, nullptr, (LPSECURITY_ATTRIBUTES sa, LONG i, LONG m, LPCSTR n),            \
    (sa, i, m, n))                                                                                                     \
  X(WIN, KERNEL32, HANDLE, CreateSemaphoreW, nullptr, (LPSECURITY_ATTRIBUTES sa, LONG i, LONG m, LPCWSTR n),           \
    (sa, i, m, n))                                                                                                     \
  X(WIN, KERNEL32, BOOL, ReleaseSemaphore, FALSE, (HANDLE h, LONG n, LPLONG p), (h, n, p))                             \
  X(WIN, KERNEL32, HANDLE, CreateMutexW, nullptr, (LPSECURITY_ATTRIBUTES sa, BOOL o, LPCWSTR n), (sa, o, n))           \
  X(WIN, KERNEL32, BOOL, SleepConditionVariableSRW, FALSE, (PCONDITION_VARIABLE c, PSRWLOCK l, DWORD t, ULONG f),      \
    (c, l, t, f))                                                                                                      \
  X(WIN, KERNEL32, DWORD, WaitForSingleObject, WAIT_FAILED, (HANDLE h, DWORD t), (h, t))                               \
  X(WIN, KERNEL32, DWORD, WaitForMultipleObjects, WAIT_FAILED, (DWORD n, const HANDLE* h, BOOL a, DWORD t),            \
    (n, h, a, t))                                                                                                      \
  X(WIN, KERNEL32, BOOL, InitOnceExecuteOnce, FALSE, (PINIT_ONCE o, PINIT_ONCE_FN f, PVOID p, LPVOID * c),             \
    (o, f, p, c))                                                                                                      \
  X(WIN, KERNEL32, DWORD, TlsAlloc, TLS_OUT_OF_INDEXES, (), ())                                                        \
  X(WIN, KERNEL32, BOOL, TlsSetValue, FALSE, (DWORD i, LPVOID v), (i, v))                                              \
  X(WIN, KERNEL32, LPVOID, HeapAlloc, nullptr, (HANDLE h, DWORD f, SIZE_T n), (h, f, n))                               \
  X(WIN, KERNEL32, LPVOID, HeapReAlloc, nullptr, (HANDLE h, DWORD f, LPVOID p, SIZE_T n), (h, f, p, n))                \
  X(WIN, KERNEL32, HLOCAL, LocalAlloc, nullptr, (UINT f, SIZE_T n), (f, n))                                            \
  X(WIN, KERNEL32, HLOCAL, LocalFree, m, (HLOCAL m), (m))                                                              \
  X(WIN, KERNEL32, DWORD, FormatMessageW, 0, (DWORD f, LPCVOID s, DWORD m, DWORD l, LPWSTR b, DWORD n, va_list * a),   \
    (f, s, m, l, b, n, a))                                                                                             \
  X(WIN, KERNEL32, DWORD, FormatMessageA, 0, (DWORD f, LPCVOID s, DWORD m, DWORD l, LPSTR b, DWORD n, va_list * a),    \
    (f, s, m, l, b, n, a))                                                                                             \
  X(CRT, MSVCRT, void*, malloc, nullptr, (size_t n), (n))                                                              \
  X(CRT, MSVCRT, void*, calloc, nullptr, (size_t n, size_t s), (n, s))                                                 \
  X(CRT, MSVCRT, void*, realloc, nullptr, (void* p, size_t n), (p, n))                                                 \
  X(CRT, MSVCRT, void*, _aligned_malloc, nullptr, (size_t n, size_t a), (n, a))                                        \
  X(CRT, MSVCRT, char*, _strdup, nullptr, (const char* s), (s))                                                        \
  X(CRT, MSVCRT, uintptr_t, _beginthreadex, 0,                                                                         \
    (void* sa, unsigned n, unsigned(__stdcall * f)(void*), void* p, unsigned c, unsigned* i), (sa, n, f, p, c, i))     \
  X(CRT, MSVCRT, int, _read, -1, (int d, void* b, unsigned n), (d, b, n))                                              \
  X(CRT, MSVCRT, int, _close, -1, (int d), (d))                                                                        \
  X(CRT, MSVCRT, size_t, fwrite, 0, (const void* b, size_t s, size_t n, FILE* f), (b, s, n, f))                        \
  X(CRT, MSVCRT, int, fputs, EOF, (const char* s, FILE* f), (s, f))                                                    \
  X(CRT, MSVCRT, int, fputc, EOF, (int c, FILE* f), (c, f))                                                            \
  X(CRT, MSVCRT, wint_t, fputwc, WEOF, (wchar_t c, FILE * f), (c, f))                                                  \
  X(NT, BCRYPT, NTSTATUS, BCryptOpenAlgorithmProvider, 0, (BCRYPT_ALG_HANDLE * a, LPCWSTR i, LPCWSTR p, ULONG f),      \
    (a, i, p, f))                                                                                                      \
  X(NT, BCRYPT, NTSTATUS, BCryptGetProperty, 0, (BCRYPT_HANDLE h, LPCWSTR p, PUCHAR o, ULONG n, ULONG * r, ULONG f),   \
    (h, p, o, n, r, f))                                                                                                \
  X(NT, BCRYPT, NTSTATUS, BCryptCreateHash, 0,                                                                         \
    (BCRYPT_ALG_HANDLE a, BCRYPT_HASH_HANDLE * h, PUCHAR o, ULONG n, PUCHAR s, ULONG l, ULONG f),                      \
    (a, h, o, n, s, l, f))                                                                                             \
  X(NT, BCRYPT, NTSTATUS, BCryptHashData, 0, (BCRYPT_HASH_HANDLE h, PUCHAR i, ULONG n, ULONG f), (h, i, n, f))         \
  X(NT, BCRYPT, NTSTATUS, BCryptFinishHash, 0, (BCRYPT_HASH_HANDLE h, PUCHAR o, ULONG n, ULONG f), (h, o, n, f))       \
  X(NT, BCRYPT, NTSTATUS, BCryptDestroyHash, 0, (BCRYPT_HASH_HANDLE h), (h))                                           \
  X(NT, BCRYPT, NTSTATUS, BCryptCloseAlgorithmProvider, 0, (BCRYPT_ALG_HANDLE a, ULONG f), (a, f))

namespace {

#define AS_INDEX(how, dll, type, name, ...) CALL_##name,
enum { WRAPPED_CALLS(AS_INDEX) CALL_COUNT };

struct Wrapped {
  volatile LONG calls;
  void* original;  // null while the program does not import it
};
Wrapped wrapped[CALL_COUNT];
int faultCall = -1;
LONG faultNumber = 0;
DWORD faultError = 0;
wchar_t countsPath[MAX_PATH];

// Counts the call and says whether it is the one to fail. Every thread goes through here.
bool strikes(int call) {
  return InterlockedIncrement(&wrapped[call].calls) == faultNumber && call == faultCall;
}

#define CONVENTION_WIN WINAPI
#define CONVENTION_CRT __cdecl
#define CONVENTION_NT WINAPI
#define FAIL_WIN(failure)   \
  SetLastError(faultError); \
  return failure;
#define FAIL_CRT(failure)               \
  errno = static_cast<int>(faultError); \
  return failure;
#define FAIL_NT(failure) return static_cast<NTSTATUS>(faultError);

#define AS_WRAPPER(how, dll, type, name, failure, params, args)                             \
  type CONVENTION_##how wrapped_##name params {                                             \
    if (strikes(CALL_##name)) {                                                             \
      FAIL_##how(failure)                                                                   \
    }                                                                                       \
    return reinterpret_cast<decltype(&wrapped_##name)>(wrapped[CALL_##name].original) args; \
  }
WRAPPED_CALLS(AS_WRAPPER)

struct Target {
  const char* dll;
  const char* name;
  void* wrapper;
};
#define AS_TARGET(how, dll, type, name, ...) {dll, #name, reinterpret_cast<void*>(&wrapped_##name)},
const Target targets[] = {WRAPPED_CALLS(AS_TARGET)};

// Written whole each time: the last writer (exit, or detach after it) leaves the final counts.
void writeCounts() {
  if (!countsPath[0]) return;
  HANDLE file = CreateFileW(countsPath, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return;
  for (int i = 0; i < CALL_COUNT; ++i) {
    if (!wrapped[i].original) continue;
    char line[128];
    int length = snprintf(line, sizeof line, "%s %ld\n", targets[i].name, wrapped[i].calls);
    DWORD written;
    WriteFile(file, line, static_cast<DWORD>(length), &written, nullptr);
  }
  CloseHandle(file);
}

// A process ended by TerminateProcess is not detached from: its counts are written first.
// (A program that returns from main leaves through msvcrt's ExitProcess, which detaches.)
decltype(&TerminateProcess) originalTerminateProcess;
BOOL WINAPI countedTerminateProcess(HANDLE process, UINT code) {
  if (GetProcessId(process) == GetCurrentProcessId()) writeCounts();
  return originalTerminateProcess(process, code);
}

void readSettings() {
  wchar_t text[256];
  if (!GetEnvironmentVariableW(L"GLYPHWARDEN_FAULT_COUNTS", countsPath, MAX_PATH)) countsPath[0] = 0;
  DWORD length = GetEnvironmentVariableW(L"GLYPHWARDEN_FAULT", text, 256);
  if (!length || length >= 256) return;
  wchar_t* number = wcschr(text, L':');
  wchar_t* error = number ? wcschr(number + 1, L':') : nullptr;
  if (!error) return;
  *number++ = 0;
  *error++ = 0;
  for (int i = 0; i < CALL_COUNT; ++i) {
    wchar_t name[64];
    MultiByteToWideChar(CP_ACP, 0, targets[i].name, -1, name, 64);
    if (!wcscmp(name, text)) faultCall = i;
  }
  faultNumber = static_cast<LONG>(wcstoul(number, nullptr, 10));
  faultError = static_cast<DWORD>(wcstoul(error, nullptr, 0));  // decimal, or 0x... for a status
}

void patch(ULONG_PTR* slot, void* wrapper) {
  DWORD protection;
  VirtualProtect(slot, sizeof *slot, PAGE_READWRITE, &protection);
  *slot = reinterpret_cast<ULONG_PTR>(wrapper);
  VirtualProtect(slot, sizeof *slot, protection, &protection);
}

// Walks the program's import descriptors, naming each slot by its hint/name entry (the bound
// slot itself holds only an address by now).
void wrapImports() {
  auto* base = reinterpret_cast<BYTE*>(GetModuleHandleW(nullptr));
  auto* nt = reinterpret_cast<IMAGE_NT_HEADERS*>(base + reinterpret_cast<IMAGE_DOS_HEADER*>(base)->e_lfanew);
  const IMAGE_DATA_DIRECTORY& imports = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
  if (!imports.VirtualAddress) return;
  for (auto* d = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + imports.VirtualAddress); d->Name; ++d) {
    const char* dll = reinterpret_cast<const char*>(base + d->Name);
    auto* names =
        reinterpret_cast<IMAGE_THUNK_DATA*>(base + (d->OriginalFirstThunk ? d->OriginalFirstThunk : d->FirstThunk));
    auto* slots = reinterpret_cast<IMAGE_THUNK_DATA*>(base + d->FirstThunk);
    for (; names->u1.AddressOfData; ++names, ++slots) {
      if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal)) continue;
      const char* name = reinterpret_cast<IMAGE_IMPORT_BY_NAME*>(base + names->u1.AddressOfData)->Name;
      if (!_stricmp(dll, "kernel32.dll") && !strcmp(name, "TerminateProcess")) {
        originalTerminateProcess = reinterpret_cast<decltype(&TerminateProcess)>(slots->u1.Function);
        patch(&slots->u1.Function, reinterpret_cast<void*>(&countedTerminateProcess));
      }
      for (int i = 0; i < CALL_COUNT; ++i) {
        if (_stricmp(dll, targets[i].dll) || strcmp(name, targets[i].name)) continue;
        wrapped[i].original = reinterpret_cast<void*>(slots->u1.Function);
        patch(&slots->u1.Function, targets[i].wrapper);
      }
    }
  }
}

}  // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) {
    readSettings();
    wrapImports();
  } else if (reason == DLL_PROCESS_DETACH) {
    writeCounts();
  }
  return TRUE;
}
