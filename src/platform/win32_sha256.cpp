// SHA-256 on Windows: CNG (bcrypt.dll), with the hash object's memory given to it, as Vista
// requires.
#include <windows.h>
// windows.h first: bcrypt.h needs its types.
#include <bcrypt.h>

#include <algorithm>
#include <cwchar>
#include <iterator>
#include <vector>

#include "platform/platform.h"
#include "platform/win32_files.h"

namespace platform {

namespace {

bool succeeded(NTSTATUS status) {
  return status >= 0;
}

std::wstring statusText(NTSTATUS status) {
  wchar_t text[24];
  std::swprintf(text, std::size(text), L"(status 0x%08lX)", static_cast<unsigned long>(status));
  return text;
}

// The SHA-256 provider, opened once for the process and shared by every hash (Microsoft advises
// against opening one per hash: it is costly); null when CNG has none.
// Opened through the system's one-time initialisation, which needs no memory and cannot fail, as
// the C++ runtime's guard of a local static (a winpthreads call) can.
BCRYPT_ALG_HANDLE provider = nullptr;
NTSTATUS providerStatus = 0;
INIT_ONCE providerReady = INIT_ONCE_STATIC_INIT;

BOOL CALLBACK openProvider(PINIT_ONCE, PVOID, PVOID*) {
  BCRYPT_ALG_HANDLE opened = nullptr;
  providerStatus = BCryptOpenAlgorithmProvider(&opened, BCRYPT_SHA256_ALGORITHM, nullptr, 0);
  if (succeeded(providerStatus)) provider = opened;
  return TRUE;
}

// The provider, or null with why (a failed initialisation is tried again on the next call).
BCRYPT_ALG_HANDLE sha256Provider(std::wstring* why = nullptr) {
  if (!InitOnceExecuteOnce(&providerReady, openProvider, nullptr, nullptr)) {
    if (why != nullptr) *why = L"Windows' CNG cannot be asked for SHA-256: " + win32::errorText(GetLastError());
    return nullptr;
  }
  if (provider == nullptr && why != nullptr) *why = L"Windows' CNG offers no SHA-256 " + statusText(providerStatus);
  return provider;
}

struct HashHandleTraits {
  using Handle = BCRYPT_HASH_HANDLE;
  static BCRYPT_HASH_HANDLE none() { return nullptr; }
  static bool close(BCRYPT_HASH_HANDLE hash) { return succeeded(BCryptDestroyHash(hash)); }
};

}  // namespace

// The hash is destroyed before the memory it was given.
struct Sha256::State {
  std::vector<UCHAR> hashObject;
  Owned<HashHandleTraits> hash;
  bool good = false;
  std::wstring why;  // the first step that failed

  // Whether the step succeeded; if not, the hasher is used up and keeps why.
  bool step(const wchar_t* call, NTSTATUS status) {
    if (succeeded(status)) return true;
    good = false;
    why = L"Windows' CNG failed in " + std::wstring(call) + L" " + statusText(status);
    return false;
  }
};

std::wstring whyHashingIsUnavailable() {
  std::wstring why;
  sha256Provider(&why);
  return why;
}

Sha256::Sha256() : state_(std::make_unique<State>()) {
  State& s = *state_;
  const BCRYPT_ALG_HANDLE provider = sha256Provider(&s.why);
  DWORD objectLength = 0, got = 0;
  if (provider == nullptr || !s.step(L"BCryptGetProperty", BCryptGetProperty(provider, BCRYPT_OBJECT_LENGTH,
                                                                             reinterpret_cast<PUCHAR>(&objectLength),
                                                                             sizeof objectLength, &got, 0)))
    return;
  s.hashObject.resize(objectLength);
  BCRYPT_HASH_HANDLE hash = nullptr;
  s.good =
      s.step(L"BCryptCreateHash", BCryptCreateHash(provider, &hash, s.hashObject.data(), objectLength, nullptr, 0, 0));
  if (s.good) s.hash = Owned<HashHandleTraits>(hash);
}

Sha256::~Sha256() = default;

void Sha256::update(std::span<const std::uint8_t> bytes) {
  // In slices that a ULONG can count.
  for (std::size_t at = 0; state_->good && at < bytes.size();) {
    const ULONG slice = static_cast<ULONG>(std::min<std::size_t>(bytes.size() - at, 1u << 30));
    state_->step(L"BCryptHashData",
                 BCryptHashData(state_->hash.get(), const_cast<PUCHAR>(bytes.data() + at), slice, 0));
    at += slice;
  }
}

bool Sha256::finish(Sha256Digest& digest, std::wstring* why) {
  State& s = *state_;
  const bool good = s.good && s.step(L"BCryptFinishHash", BCryptFinishHash(s.hash.get(), digest.data(),
                                                                           static_cast<ULONG>(digest.size()), 0));
  s.good = false;
  if (!good && why != nullptr) *why = s.why.empty() ? HASHING_FAILED : s.why;
  return good;
}

namespace win32 {

bool sha256OfOpenFile(HANDLE file, Sha256Digest& digest, std::wstring& why) {
  LARGE_INTEGER start = {};
  if (!SetFilePointerEx(file, start, nullptr, FILE_BEGIN)) {
    why = errorText(GetLastError());
    return false;
  }
  Sha256 hash;
  std::uint8_t block[64 * 1024];  // every thread has room for it on its stack
  for (;;) {
    DWORD got = 0;
    if (!ReadFile(file, block, sizeof block, &got, nullptr)) {
      why = errorText(GetLastError());
      return false;
    }
    if (got == 0) break;
    hash.update({block, got});
  }
  return hash.finish(digest, &why);
}

}  // namespace win32

bool sha256OfFile(const wchar_t* path, Sha256Digest& digest, std::wstring& why) {
  // Opened as a file (a folder cannot be), and asked only whether it is a device: a question of
  // its volume would cost more than hashing a small PNG.
  const win32::SystemPath given(path);
  const win32::FileHandle file(CreateFileW(given.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                           FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
  if (!file.valid()) {
    why = win32::openFailureText(given.c_str(), GetLastError());
    return false;
  }
  if (const DWORD type = GetFileType(file.get()); type != FILE_TYPE_DISK) {
    why = win32::notOnDiskText(type);
    return false;
  }
  return win32::sha256OfOpenFile(file.get(), digest, why);
}

}  // namespace platform
