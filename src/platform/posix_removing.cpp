// Linux removal of a file a run made: checked through one open that never follows a link, then
// moved aside under a private name and removed only if what moved is the file checked.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "platform/platform.h"
#include "platform/posix_files.h"

namespace platform {

using namespace posix;

namespace {

bool sameFile(const struct stat& a, const struct stat& b) {
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// Unlike sameFileUnchanged, the change time is left out: moving a file aside changes it.
bool sameContentsStand(const struct stat& checked, const struct stat& now) {
  return sameFile(checked, now) && checked.st_size == now.st_size && checked.st_nlink == now.st_nlink &&
         checked.st_mtim.tv_sec == now.st_mtim.tv_sec && checked.st_mtim.tv_nsec == now.st_mtim.tv_nsec;
}

// Whether name in folder still names the file fd has open; false once another process has
// removed it or moved it away.
bool stillNamed(int folder, const char* name, const struct stat& file) {
  struct stat now;
  return fstatat(folder, name, &now, AT_SYMLINK_NOFOLLOW) == 0 && sameFile(file, now);
}

// why: the hashing's own reason when it fails.
Removal checkOpenFile(int fd, int folder, const char* name, const struct stat& named, const Sha256Digest& expected,
                      std::span<const FileStatus> spared, const FileIdentity* made, struct stat& checked,
                      std::wstring& why) {
  // Another undo of the same record may move the file aside and back meanwhile, which changes
  // only its change time: the bytes are hashed again, until a pass sees the file stand still.
  for (int pass = 0; pass < 3; ++pass) {
    struct stat before;
    if (fstat(fd, &before) != 0) return Removal::Unreadable;
    if (!S_ISREG(before.st_mode) || !sameFile(before, named)) return Removal::NotRegular;
    if (before.st_nlink > 1) return Removal::OtherLinks;
    if (fileStatusOf(before).isAmong(spared)) return Removal::ReadByTheRun;
    Sha256Digest digest;
    if (!sha256OfOpenFile(fd, static_cast<std::uint64_t>(before.st_size), digest, why)) return Removal::Unreadable;
    if (fstat(fd, &checked) != 0) return Removal::Unreadable;
    // Removed by another process, or moved away: not there any more.
    if (checked.st_nlink == 0 || !stillNamed(folder, name, before)) return Removal::Missing;
    // Written to while it was read: what was hashed is not what is there.
    if (sameFileUnchanged(before, checked)) {
      if (digest != expected) return Removal::Changed;
      // The same bytes, maybe in another file, or in one that was touched since it was made.
      return made == nullptr ? Removal::Removed
                             : compareWithMade(*made, identityOf(checked, fd, "", AT_EMPTY_PATH), true);
    }
    if (digest != expected || !sameContentsStand(before, checked)) return Removal::Changed;
  }
  return Removal::Changed;
}

// The checked file is moved aside first: a file put in its place since the check is then the one
// moved, is found to be another file, and goes back. A file that is gone at any step was taken
// by another process meanwhile.
Removal removeChecked(int folder, const char* name, const struct stat& checked) {
  const std::string aside = toUtf8(privateName(REMOVAL_ASIDE_PREFIX, static_cast<unsigned long>(getpid())));
  InterruptsHeld held;  // an interrupt never leaves the file under its private name
  if (::renameat2(folder, name, folder, aside.c_str(), RENAME_NOREPLACE) != 0) {
    if (errno == ENOENT) return Removal::Missing;
    if (errno != EINVAL && errno != ENOSYS && errno != EOPNOTSUPP) return Removal::NotRemoved;
    // A file system that cannot rename without replacing: checked by name once more instead.
    struct stat now;
    if (fstatat(folder, name, &now, AT_SYMLINK_NOFOLLOW) != 0)
      return errno == ENOENT ? Removal::Missing : Removal::NotRemoved;
    if (!sameContentsStand(checked, now)) return Removal::Changed;
    if (unlinkat(folder, name, 0) == 0) return Removal::Removed;
    return errno == ENOENT ? Removal::Missing : Removal::NotRemoved;
  }
  struct stat moved = {};
  if (fstatat(folder, aside.c_str(), &moved, AT_SYMLINK_NOFOLLOW) != 0)
    return errno == ENOENT ? Removal::Missing : Removal::NotRemoved;
  if (sameContentsStand(checked, moved)) {
    if (unlinkat(folder, aside.c_str(), 0) == 0) return Removal::Removed;
    if (errno == ENOENT) return Removal::Missing;
  }
  const bool restored = ::renameat2(folder, aside.c_str(), folder, name, RENAME_NOREPLACE) == 0;
  return restored && !sameFile(checked, moved) ? Removal::Changed : Removal::NotRemoved;
}

Removal removeOrCheck(const wchar_t* path, const Sha256Digest& digest, bool dryRun, std::span<const FileStatus> spared,
                      const FileIdentity* made, std::wstring& why) {
  const std::string folderPath = nativePath(folderOf(path).c_str());
  const std::string name = nativePath(std::wstring(nameOf(path)).c_str());
  const Descriptor folder(::open(folderPath.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (!folder.valid()) return errno == ENOENT ? Removal::Missing : Removal::NotRemoved;
  struct stat named;
  if (fstatat(folder.get(), name.c_str(), &named, AT_SYMLINK_NOFOLLOW) != 0)
    return errno == ENOENT ? Removal::Missing : Removal::NotRemoved;
  if (!S_ISREG(named.st_mode)) return Removal::NotRegular;
  const Descriptor file(
      ::openat(folder.get(), name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
  if (!file.valid())
    return errno == ENOENT ? Removal::Missing : errno == ELOOP ? Removal::NotRegular : Removal::Unreadable;
  struct stat checked;
  const Removal outcome =
      checkOpenFile(file.get(), folder.get(), name.c_str(), named, digest, spared, made, checked, why);
  if (outcome != Removal::Removed || dryRun) return outcome;
  return removeChecked(folder.get(), name.c_str(), checked);
}

}  // namespace

Removal removeIfDigest(const wchar_t* path, const Sha256Digest& digest, bool dryRun, std::span<const FileStatus> spared,
                       const FileIdentity* made, std::wstring* why) {
  std::wstring reason;
  const Removal outcome = removeOrCheck(path, digest, dryRun, spared, made, reason);
  // Any other failure is returned at once after the call that failed, which left its errno.
  if (why != nullptr && (outcome == Removal::Unreadable || outcome == Removal::NotRemoved))
    *why = reason.empty() ? errorText(errno) : reason;
  return outcome;
}

}  // namespace platform
