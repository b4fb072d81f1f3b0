// SHA-256 on Linux: OpenSSL's libcrypto, as Debian ships it (libssl3, which the package depends
// on). It is linked in: loading it only when something was first hashed saved about 1% of a whole
// run of 2,000 PNGs, and cost a refusal of its own.
#include <openssl/evp.h>

#include <algorithm>

#include "platform/platform.h"
#include "platform/posix_files.h"

namespace platform {

namespace {

struct DigestContextTraits {
  using Handle = EVP_MD_CTX*;
  static EVP_MD_CTX* none() { return nullptr; }
  static bool close(EVP_MD_CTX* context) {
    EVP_MD_CTX_free(context);
    return true;
  }
};

}  // namespace

std::wstring whyHashingIsUnavailable() {
  return EVP_sha256() != nullptr ? L"" : L"OpenSSL's libcrypto offers no SHA-256";
}

struct Sha256::State {
  Owned<DigestContextTraits> context{EVP_MD_CTX_new()};
  bool good = false;
};

Sha256::Sha256() : state_(std::make_unique<State>()) {
  state_->good = state_->context.valid() && EVP_DigestInit_ex(state_->context.get(), EVP_sha256(), nullptr) == 1;
}

Sha256::~Sha256() = default;

void Sha256::update(std::span<const std::uint8_t> bytes) {
  if (state_->good && !bytes.empty())
    state_->good = EVP_DigestUpdate(state_->context.get(), bytes.data(), bytes.size()) == 1;
}

bool Sha256::finish(Sha256Digest& digest, std::wstring* why) {
  unsigned length = 0;
  const bool good =
      state_->good && EVP_DigestFinal_ex(state_->context.get(), digest.data(), &length) == 1 && length == digest.size();
  state_->good = false;
  if (!good && why != nullptr) *why = HASHING_FAILED;
  return good;
}

namespace posix {

bool sha256OfOpenFile(int fd, std::uint64_t length, Sha256Digest& digest, std::wstring& why) {
  Sha256 hash;
  std::uint8_t block[64 * 1024];
  for (std::uint64_t at = 0; at < length;) {
    const ssize_t got = ::pread(fd, block, std::min<std::uint64_t>(sizeof block, length - at), static_cast<off_t>(at));
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) {
      // Shorter than it was: another program cut it meanwhile.
      why = got < 0 ? errorText(errno) : SOURCE_CHANGED;
      return false;
    }
    hash.update({block, static_cast<std::size_t>(got)});
    at += static_cast<std::uint64_t>(got);
  }
  return hash.finish(digest, &why);
}

}  // namespace posix

bool sha256OfFile(const wchar_t* path, Sha256Digest& digest, std::wstring& why) {
  const posix::Descriptor file = posix::openForReading(posix::nativePath(path));
  struct stat st;
  if (!file.valid() || fstat(file.get(), &st) != 0) {
    why = posix::errorText(errno);
    return false;
  }
  if (!S_ISREG(st.st_mode)) {
    why = posix::notRegularText(st.st_mode);
    return false;
  }
  return posix::sha256OfOpenFile(file.get(), static_cast<std::uint64_t>(st.st_size), digest, why);
}

}  // namespace platform
