// Linux removal of a file a run made: checked through one open that never follows a link, then
// moved aside under a private name and removed only if what moved is the file checked.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>

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

Removal checkOpenFile(int fd, const struct stat& named, const Sha256Digest& expected, struct stat& checked) {
  struct stat before;
  if (fstat(fd, &before) != 0) return Removal::Unreadable;
  if (!S_ISREG(before.st_mode) || !sameFile(before, named)) return Removal::NotRegular;
  if (before.st_nlink > 1) return Removal::OtherLinks;
  Sha256Digest digest;
  if (!sha256OfOpenFile(fd, static_cast<std::uint64_t>(before.st_size), digest)) return Removal::Unreadable;
  // Written to while it was read: what was hashed is not what is there.
  if (fstat(fd, &checked) != 0 || !sameFileUnchanged(before, checked) || digest != expected) return Removal::Changed;
  return Removal::Removed;
}

// The checked file is moved aside first: a file put in its place since the check is then the one
// moved, is found to be another file, and goes back.
Removal removeChecked(int folder, const char* name, const struct stat& checked) {
  static unsigned serial = 0;
  char aside[64];
  std::snprintf(aside, sizeof aside, ".glyphwarden-undo-%ld-%u.tmp", static_cast<long>(getpid()), serial++);
  InterruptsHeld held;  // an interrupt never leaves the file under its private name
  if (::renameat2(folder, name, folder, aside, RENAME_NOREPLACE) != 0) {
    if (errno != EINVAL && errno != ENOSYS && errno != EOPNOTSUPP) return Removal::NotRemoved;
    // A file system that cannot rename without replacing: checked by name once more instead.
    struct stat now;
    if (fstatat(folder, name, &now, AT_SYMLINK_NOFOLLOW) != 0 || !sameContentsStand(checked, now))
      return Removal::Changed;
    return unlinkat(folder, name, 0) == 0 ? Removal::Removed : Removal::NotRemoved;
  }
  struct stat moved = {};
  if (fstatat(folder, aside, &moved, AT_SYMLINK_NOFOLLOW) == 0 && sameContentsStand(checked, moved) &&
      unlinkat(folder, aside, 0) == 0)
    return Removal::Removed;
  const bool restored = ::renameat2(folder, aside, folder, name, RENAME_NOREPLACE) == 0;
  return restored && !sameFile(checked, moved) ? Removal::Changed : Removal::NotRemoved;
}

}  // namespace

Removal removeIfDigest(const wchar_t* path, const Sha256Digest& digest, bool dryRun) {
  const std::string folderPath = nativePath(folderOf(path).c_str());
  const std::string name = nativePath(std::wstring(nameOf(path)).c_str());
  const int folder = ::open(folderPath.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (folder < 0) return errno == ENOENT ? Removal::Missing : Removal::NotRemoved;
  Removal outcome;
  struct stat named;
  if (fstatat(folder, name.c_str(), &named, AT_SYMLINK_NOFOLLOW) != 0) {
    outcome = errno == ENOENT ? Removal::Missing : Removal::NotRemoved;
  } else if (!S_ISREG(named.st_mode)) {
    outcome = Removal::NotRegular;
  } else if (const int fd = ::openat(folder, name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
             fd < 0) {
    outcome = errno == ENOENT ? Removal::Missing : errno == ELOOP ? Removal::NotRegular : Removal::Unreadable;
  } else {
    struct stat checked;
    outcome = checkOpenFile(fd, named, digest, checked);
    if (outcome == Removal::Removed && !dryRun) outcome = removeChecked(folder, name.c_str(), checked);
    ::close(fd);
  }
  ::close(folder);
  return outcome;
}

}  // namespace platform
