// SHA-256 on Linux: OpenSSL's libcrypto, as Debian ships it, loaded the first time something is
// hashed. Most runs hash nothing, and linking the library in would cost each of them its loading
// (about 1.4 ms here, a fiftieth of a whole run of 2,000 PNGs).
#include <dlfcn.h>
#include <openssl/evp.h>
#include <openssl/opensslv.h>

#include <algorithm>

#include "platform/platform.h"
#include "platform/posix_files.h"

namespace platform {

namespace {

#define GLYPHWARDEN_TEXT(x) #x
#define GLYPHWARDEN_SONAME(version) "libcrypto.so." GLYPHWARDEN_TEXT(version)

// The functions used, typed by the library's own header; all or none.
struct Libcrypto {
  decltype(&EVP_MD_CTX_new) newContext = nullptr;
  decltype(&EVP_MD_CTX_free) freeContext = nullptr;
  decltype(&EVP_sha256) sha256 = nullptr;
  decltype(&EVP_DigestInit_ex) init = nullptr;
  decltype(&EVP_DigestUpdate) update = nullptr;
  decltype(&EVP_DigestFinal_ex) final = nullptr;
};

template <class Function>
bool find(void* library, const char* name, Function& function) {
  function = reinterpret_cast<Function>(dlsym(library, name));
  return function != nullptr;
}

// Loaded once, by whichever thread hashes first, and kept for the life of the process.
const Libcrypto* libcrypto() {
  static const Libcrypto* const loaded = []() -> const Libcrypto* {
    void* library = dlopen(GLYPHWARDEN_SONAME(OPENSSL_SHLIB_VERSION), RTLD_NOW | RTLD_LOCAL);
    if (library == nullptr) return nullptr;
    static Libcrypto functions;
    const bool complete =
        find(library, "EVP_MD_CTX_new", functions.newContext) &&
        find(library, "EVP_MD_CTX_free", functions.freeContext) && find(library, "EVP_sha256", functions.sha256) &&
        find(library, "EVP_DigestInit_ex", functions.init) && find(library, "EVP_DigestUpdate", functions.update) &&
        find(library, "EVP_DigestFinal_ex", functions.final);
    return complete ? &functions : nullptr;
  }();
  return loaded;
}

}  // namespace

const wchar_t* whyHashingIsUnavailable() {
  return libcrypto() != nullptr ? nullptr
                                : L"OpenSSL's " GLYPHWARDEN_SONAME(OPENSSL_SHLIB_VERSION) L" could not be loaded";
}

struct Sha256::State {
  const Libcrypto* library = libcrypto();
  EVP_MD_CTX* context = nullptr;
  bool good = false;
};

Sha256::Sha256() : state_(std::make_unique<State>()) {
  const Libcrypto* library = state_->library;
  if (library == nullptr) return;  // no library, no digest: every finish() fails
  state_->context = library->newContext();
  state_->good = state_->context != nullptr && library->init(state_->context, library->sha256(), nullptr) == 1;
}

Sha256::~Sha256() {
  if (state_->context != nullptr) state_->library->freeContext(state_->context);
}

void Sha256::update(std::span<const std::uint8_t> bytes) {
  if (state_->good && !bytes.empty())
    state_->good = state_->library->update(state_->context, bytes.data(), bytes.size()) == 1;
}

bool Sha256::finish(Sha256Digest& digest) {
  unsigned length = 0;
  const bool good =
      state_->good && state_->library->final(state_->context, digest.data(), &length) == 1 && length == digest.size();
  state_->good = false;
  return good;
}

namespace posix {

bool sha256OfOpenFile(int fd, std::uint64_t length, Sha256Digest& digest) {
  Sha256 hash;
  std::uint8_t block[64 * 1024];
  for (std::uint64_t at = 0; at < length;) {
    const ssize_t got = ::pread(fd, block, std::min<std::uint64_t>(sizeof block, length - at), static_cast<off_t>(at));
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return false;
    hash.update({block, static_cast<std::size_t>(got)});
    at += static_cast<std::uint64_t>(got);
  }
  return hash.finish(digest);
}

}  // namespace posix

bool sha256OfFile(const wchar_t* path, Sha256Digest& digest) {
  const posix::Descriptor file = posix::openForReading(posix::nativePath(path));
  struct stat st;
  return file.valid() && fstat(file.get(), &st) == 0 && S_ISREG(st.st_mode) &&
         posix::sha256OfOpenFile(file.get(), static_cast<std::uint64_t>(st.st_size), digest);
}

}  // namespace platform
