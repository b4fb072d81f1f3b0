// SHA-256 on Windows: CNG (bcrypt.dll), with the hash object's memory given to it, as Vista
// requires.
#include <windows.h>
// windows.h first: bcrypt.h needs its types.
#include <bcrypt.h>

#include <algorithm>
#include <vector>

#include "platform/platform.h"
#include "platform/win32_files.h"

namespace platform {

struct Sha256::State {
  BCRYPT_ALG_HANDLE algorithm = nullptr;
  BCRYPT_HASH_HANDLE hash = nullptr;
  std::vector<UCHAR> hashObject;
  bool good = false;
};

namespace {

bool succeeded(NTSTATUS status) {
  return status >= 0;
}

}  // namespace

const wchar_t* whyHashingIsUnavailable() {
  BCRYPT_ALG_HANDLE algorithm = nullptr;
  if (!succeeded(BCryptOpenAlgorithmProvider(&algorithm, BCRYPT_SHA256_ALGORITHM, nullptr, 0)))
    return L"Windows' CNG offers no SHA-256";
  BCryptCloseAlgorithmProvider(algorithm, 0);
  return nullptr;
}

Sha256::Sha256() : state_(std::make_unique<State>()) {
  State& s = *state_;
  DWORD objectLength = 0, got = 0;
  if (!succeeded(BCryptOpenAlgorithmProvider(&s.algorithm, BCRYPT_SHA256_ALGORITHM, nullptr, 0))) {
    s.algorithm = nullptr;
    return;
  }
  if (!succeeded(BCryptGetProperty(s.algorithm, BCRYPT_OBJECT_LENGTH, reinterpret_cast<PUCHAR>(&objectLength),
                                   sizeof objectLength, &got, 0)))
    return;
  s.hashObject.resize(objectLength);
  s.good = succeeded(BCryptCreateHash(s.algorithm, &s.hash, s.hashObject.data(), objectLength, nullptr, 0, 0));
  if (!s.good) s.hash = nullptr;
}

// The hash before its object's memory, then the algorithm.
Sha256::~Sha256() {
  if (state_->hash != nullptr) BCryptDestroyHash(state_->hash);
  if (state_->algorithm != nullptr) BCryptCloseAlgorithmProvider(state_->algorithm, 0);
}

void Sha256::update(std::span<const std::uint8_t> bytes) {
  // In slices that a ULONG can count.
  for (std::size_t at = 0; state_->good && at < bytes.size();) {
    const ULONG slice = static_cast<ULONG>(std::min<std::size_t>(bytes.size() - at, 1u << 30));
    state_->good = succeeded(BCryptHashData(state_->hash, const_cast<PUCHAR>(bytes.data() + at), slice, 0));
    at += slice;
  }
}

bool Sha256::finish(Sha256Digest& digest) {
  const bool good =
      state_->good && succeeded(BCryptFinishHash(state_->hash, digest.data(), static_cast<ULONG>(digest.size()), 0));
  state_->good = false;
  return good;
}

namespace win32 {

bool sha256OfOpenFile(HANDLE file, Sha256Digest& digest) {
  LARGE_INTEGER start = {};
  if (!SetFilePointerEx(file, start, nullptr, FILE_BEGIN)) return false;
  Sha256 hash;
  static thread_local std::uint8_t block[64 * 1024];
  for (;;) {
    DWORD got = 0;
    if (!ReadFile(file, block, sizeof block, &got, nullptr)) return false;
    if (got == 0) break;
    hash.update({block, got});
  }
  return hash.finish(digest);
}

}  // namespace win32

bool sha256OfFile(const wchar_t* path, Sha256Digest& digest) {
  const HANDLE file =
      CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  BY_HANDLE_FILE_INFORMATION info = {};
  const bool hashed = GetFileType(file) == FILE_TYPE_DISK && GetFileInformationByHandle(file, &info) &&
                      !(info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && win32::sha256OfOpenFile(file, digest);
  CloseHandle(file);
  return hashed;
}

}  // namespace platform
