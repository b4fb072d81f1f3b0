// POSIX copies: whole under their final name or absent, never replacing a file, never more
// readable than their source, and each failure kept with its step and the system's reason.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>

#include "platform/platform.h"
#include "platform/posix_files.h"

namespace platform {

using namespace posix;

namespace {

// ---- Copies ----

// Larger files are copied in slices, so that the process answers a stop or a signal between two
// of them; a PNG is one slice.
constexpr std::size_t COPY_SLICE = 1u << 20;

// Copies exactly length bytes (the source's length when it was opened): a source that ends
// sooner has changed, and one that has grown is found by the check that follows.
bool copyContents(int from, int to, off_t length, CopyFailure& failure) {
  bool kernelCopy = true;
  char block[64 * 1024];
  for (off_t left = length; left > 0;) {
    ssize_t got;
    if (kernelCopy) {
      got = ::copy_file_range(from, nullptr, to, nullptr,
                              std::min<std::size_t>(static_cast<std::size_t>(left), COPY_SLICE), 0);
      if (got < 0 && (errno == ENOSYS || errno == EXDEV || errno == EINVAL || errno == EOPNOTSUPP || errno == EPERM)) {
        kernelCopy = false;  // not between these two files: read and write instead
        continue;
      }
    } else {
      got = ::read(from, block, std::min<std::size_t>(static_cast<std::size_t>(left), sizeof block));
      if (got > 0 && !writeAll(to, block, static_cast<std::size_t>(got)))
        return failure.stopped(CopyStep::MakeCopy, errorText(errno));
    }
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return failure.stopped(CopyStep::MakeCopy, errorText(errno));
    if (got == 0) return failure.stopped(CopyStep::CheckSource, SOURCE_CHANGED);
    left -= got;
  }
  return true;
}

// A file of a copy: a name in an opened folder, or a whole path (folder AT_FDCWD).
struct FileInFolder {
  int folder;
  std::string name;
};

// What was copied is what the source holds: the file now at its path is the one that was
// opened, with the length and the modification and change times it had before the copy.
bool sourceStood(const FileInFolder& source, const struct stat& before, CopyFailure& failure) {
  struct stat now;
  if (::fstatat(source.folder, source.name.c_str(), &now, 0) != 0)
    return failure.stopped(CopyStep::CheckSource, errorText(errno));
  if (!sameFileUnchanged(before, now)) return failure.stopped(CopyStep::CheckSource, SOURCE_CHANGED);
  return true;
}

CopyOutcome outcomeOfLink(int error, CopyFailure& failure) {
  if (error == EEXIST) return CopyOutcome::DestinationExists;
  return failure.failed(CopyStep::PutInPlace, errorText(error));
}

// Puts the finished temporary file in place under its final name only if that name is free.
CopyOutcome linkIntoPlace(const std::string& temporary, const std::string& destination, CopyFailure& failure) {
  if (::link(temporary.c_str(), destination.c_str()) == 0) return CopyOutcome::Copied;
  int error = errno;
#ifdef RENAME_NOREPLACE
  // File systems without hard links (FAT on a memory card) may still rename without replacing.
  if (error == EPERM || error == EOPNOTSUPP || error == ENOSYS) {
    if (::renameat2(AT_FDCWD, temporary.c_str(), AT_FDCWD, destination.c_str(), RENAME_NOREPLACE) == 0)
      return CopyOutcome::Copied;
    error = errno;
  }
#endif
  return outcomeOfLink(error, failure);
}

// Gives an unnamed file its name, failing with errno set. Through the descriptor itself where the
// kernel lets the process that opened the file do that (Linux 6.10 on, or with
// CAP_DAC_READ_SEARCH), which makes a whole run 7% faster at 2,000 PNGs and 10% at 20,000 than
// the lookup through /proc (bench/run_bench.sh, medians); elsewhere that refusal (ENOENT) sends
// it through /proc. A missing folder, which gives ENOENT too, fails both ways.
bool nameUnnamed(int fd, const FileInFolder& to) {
  if (::linkat(fd, "", to.folder, to.name.c_str(), AT_EMPTY_PATH) == 0) return true;
  if (errno != ENOENT) return false;
  char self[32];
  std::snprintf(self, sizeof self, "/proc/self/fd/%d", fd);
  return ::linkat(AT_FDCWD, self, to.folder, to.name.c_str(), AT_SYMLINK_FOLLOW) == 0;
}

// Where the file system offers unnamed files: the copy has no name until it is whole, and then
// gets the destination's name only if that is free. A signal or a failure at any point leaves
// nothing behind, so nothing has to be cleaned up. Where the file system has no unnamed files,
// says so in unsupported, having read nothing.
CopyOutcome copyUnnamed(int input, const struct stat& before, const FileInFolder& from, const std::string& folder,
                        const FileInFolder& to, bool& unsupported, CopyFailure& failure, FileIdentity* made) {
  const int flags = O_TMPFILE | O_WRONLY | O_CLOEXEC;
  const mode_t mode = before.st_mode & 0777;
  const Descriptor output(to.folder == AT_FDCWD ? ::open(folder.c_str(), flags, mode)
                                                : ::openat(to.folder, ".", flags, mode));
  if (!output.valid()) {
    unsupported = lacksOTmpFile(errno);
    return failure.failed(CopyStep::MakeCopy, errorText(errno));
  }
  if (!copyContents(input, output.get(), before.st_size, failure) || !sourceStood(from, before, failure))
    return CopyOutcome::Failed;
  {
    const UninterruptedStep step;
    if (!nameUnnamed(output.get(), to)) return outcomeOfLink(errno, failure);
  }
  struct stat named;
  if (made != nullptr && fstat(output.get(), &named) == 0) *made = identityOf(named, output.get(), "", AT_EMPTY_PATH);
  return CopyOutcome::Copied;
}

// Elsewhere: written under a short temporary name beside the destination, then linked into
// place; an interrupt removes the temporary file before the process ends.
CopyOutcome copyNamed(int input, const struct stat& before, const FileInFolder& from, std::wstring_view folder,
                      const std::string& to, CopyFailure& failure) {
  TemporaryFile temporary(folder, before.st_mode & 0777);
  if (temporary.fd() < 0) return failure.failed(CopyStep::MakeCopy, errorText(errno));
  if (!copyContents(input, temporary.fd(), before.st_size, failure)) return CopyOutcome::Failed;
  if (!temporary.close()) return failure.failed(CopyStep::MakeCopy, errorText(errno));
  if (!sourceStood(from, before, failure)) return CopyOutcome::Failed;
  const UninterruptedStep step;  // put in place and the temporary name removed as one step
  return linkIntoPlace(temporary.path(), to, failure);
}

}  // namespace

// Keeping the bytes of a small source in memory for its digest, rather than reading them again
// here, made no whole run faster (bench/run_bench.sh, with --json), so the source is kept open.
struct CopiedSource::State {
  Descriptor fd;       // the open the copy read
  struct stat copied;  // the source as the copy read it
};

CopiedSource::CopiedSource(std::unique_ptr<State> state) : state_(std::move(state)) {}
CopiedSource::~CopiedSource() = default;

// Read once more, through the open the copy read: the same bytes when the file is still the same
// length with the same times afterwards, as the copy itself was checked.
bool CopiedSource::digest(Sha256Digest& digest, std::wstring& why) const {
  if (!sha256OfOpenFile(state_->fd.get(), static_cast<std::uint64_t>(state_->copied.st_size), digest, why))
    return false;
  struct stat now;
  if (fstat(state_->fd.get(), &now) != 0) {
    why = errorText(errno);
    return false;
  }
  if (sameFileUnchanged(state_->copied, now)) return true;
  why = SOURCE_CHANGED;
  return false;
}

struct CopyFolders::State {
  std::wstring source, destination;  // as given
  // Released in the reverse of their opening: the destination first, then the source.
  Descriptor sourceFd, destinationFd;
};

CopyFolders::CopyFolders(std::wstring_view source, std::wstring_view destination)
    : state_(std::make_unique<State>(State{std::wstring(source), std::wstring(destination), {}, {}})) {
  // O_PATH: found, not read; a folder this user may search but not list still serves.
  state_->sourceFd = Descriptor(::open(nativePath(state_->source.c_str()).c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
  state_->destinationFd =
      Descriptor(::open(nativePath(state_->destination.c_str()).c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
}

CopyFolders::~CopyFolders() = default;

namespace {

// path as a name in the opened folder when it is that folder, a separator and a name; else the
// whole path.
FileInFolder placeOf(const wchar_t* path, const std::wstring* folder, int folderFd) {
  const std::wstring_view whole(path);
  if (folder != nullptr && folderFd >= 0 && !folder->empty() && whole.starts_with(*folder)) {
    std::wstring_view name = whole.substr(folder->size());
    // The separator is the folder's own last character (the root), or the next one.
    const bool separated = folder->back() == PATH_SEPARATOR || name.starts_with(PATH_SEPARATOR);
    if (folder->back() != PATH_SEPARATOR && separated) name.remove_prefix(1);
    if (separated && !name.empty() && name.find(PATH_SEPARATOR) == std::wstring_view::npos)
      return {folderFd, toUtf8(name)};
  }
  return {AT_FDCWD, nativePath(path)};
}

}  // namespace

CopyOutcome copyWithoutOverwrite(const wchar_t* source, const wchar_t* destination, CopyFailure& failure,
                                 std::unique_ptr<CopiedSource>* kept, const CopyFolders* folders, FileIdentity* made) {
  const CopyFolders::State* opened = folders ? &folders->state() : nullptr;
  const FileInFolder from = placeOf(source, opened ? &opened->source : nullptr, opened ? opened->sourceFd.get() : -1);
  const FileInFolder to =
      placeOf(destination, opened ? &opened->destination : nullptr, opened ? opened->destinationFd.get() : -1);

  Descriptor input = openForReadingAt(from.folder, from.name);
  struct stat before;
  if (!input.valid() || fstat(input.get(), &before) != 0) return failure.failed(CopyStep::OpenSource, errorText(errno));
  if (!S_ISREG(before.st_mode)) return failure.failed(CopyStep::OpenSource, notRegularText(before.st_mode));
  struct stat existing;
  if (::fstatat(to.folder, to.name.c_str(), &existing, AT_SYMLINK_NOFOLLOW) == 0)
    return S_ISDIR(existing.st_mode) ? failure.failed(CopyStep::PutInPlace, FOLDER_HAS_THE_NAME)
                                     : CopyOutcome::DestinationExists;
  CopiedSource::State* handedOver = nullptr;
  std::unique_ptr<CopiedSource> copiedSource = kept != nullptr ? roomForCopiedSource(handedOver) : nullptr;
  // The folder's path is needed only where it was not opened, or has no unnamed files.
  const auto folderPath = [destination] { return nativePath(folderOf(destination).c_str()); };
  // Created with the source's permission bits (the umask applies), as cp does, so the copy is
  // never readable by more users than the source.
  bool unsupported = false;
  CopyOutcome outcome = copyUnnamed(input.get(), before, from, to.folder == AT_FDCWD ? folderPath() : std::string(), to,
                                    unsupported, failure, made);
  if (unsupported) {
    outcome = copyNamed(input.get(), before, from, folderOf(destination), nativePath(destination), failure);
    // Its temporary name is gone only now, which changed its change time: found by its name.
    struct stat named;
    if (made != nullptr && outcome == CopyOutcome::Copied &&
        ::fstatat(to.folder, to.name.c_str(), &named, AT_SYMLINK_NOFOLLOW) == 0)
      *made = identityOf(named, to.folder, to.name.c_str(), AT_SYMLINK_NOFOLLOW);
  }
  if (copiedSource && outcome == CopyOutcome::Copied) {
    *handedOver = CopiedSource::State{std::move(input), before};
    *kept = std::move(copiedSource);
  }
  return outcome;
}

CopyOutcome previewCopy(const wchar_t* source, const wchar_t* destination, CopyFailure& failure) {
  const std::string from = nativePath(source);
  const std::string to = nativePath(destination);
  struct stat st;
  if (stat(from.c_str(), &st) != 0 || access(from.c_str(), R_OK) != 0)
    return failure.failed(CopyStep::OpenSource, errorText(errno));
  if (!S_ISREG(st.st_mode)) return failure.failed(CopyStep::OpenSource, notRegularText(st.st_mode));
  if (lstat(to.c_str(), &st) == 0)
    return S_ISDIR(st.st_mode) ? failure.failed(CopyStep::PutInPlace, FOLDER_HAS_THE_NAME)
                               : CopyOutcome::DestinationExists;
  // Only a name that is not there is free; a destination that cannot be looked at is not.
  if (errno != ENOENT) return failure.failed(CopyStep::PutInPlace, errorText(errno));
  const std::string folder = nativePath(folderOf(destination).c_str());
  if (stat(folder.c_str(), &st) != 0 || access(folder.c_str(), W_OK | X_OK) != 0)
    return failure.failed(CopyStep::MakeCopy, errorText(errno));
  if (!S_ISDIR(st.st_mode)) return failure.failed(CopyStep::MakeCopy, errorText(ENOTDIR));
  return CopyOutcome::Copied;
}

}  // namespace platform
