// SHA-256 from the system's own library. Part of the one platform contract, platform/platform.h.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <span>
#include <string>

namespace platform {

// SHA-256, from the system's own library (CNG on Windows, OpenSSL's libcrypto on Linux).
using Sha256Digest = std::array<std::uint8_t, 32>;
class Sha256 {
 public:
  Sha256();
  ~Sha256();
  Sha256(const Sha256&) = delete;
  Sha256& operator=(const Sha256&) = delete;

  void update(std::span<const std::uint8_t> bytes);
  // False, with why when asked, when the library failed at any step; the hasher is used up
  // either way.
  bool finish(Sha256Digest& digest, std::wstring* why = nullptr);

 private:
  struct State;
  std::unique_ptr<State> state_;
};

// Why this system cannot hash (its SHA-256 library is missing or refuses, with the system's
// reason when it gives one), or an empty text when it can.
std::wstring whyHashingIsUnavailable();

// The digest of a regular file's bytes, read through one open; false, with why, when it cannot
// be read.
bool sha256OfFile(const wchar_t* path, Sha256Digest& digest, std::wstring& why);
// Why a digest was not made when the library refused and gave no reason of its own.
inline constexpr wchar_t HASHING_FAILED[] = L"the SHA-256 library failed";

}  // namespace platform
