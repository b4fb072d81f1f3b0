// Files: copies that never overwrite, removals of the files a run made, what a path names, and
// whole files read and replaced. Part of the one platform contract, platform/platform.h.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>

#include "platform/hashing.h"
#include "platform/names.h"

namespace platform {

inline constexpr wchar_t NOT_ENOUGH_MEMORY[] = L"not enough memory";

// The source of a copy, kept open after it so that what was copied can be hashed later, on any
// thread. On Windows nothing can write it while it is kept.
class CopiedSource {
 public:
  struct State;
  explicit CopiedSource(std::unique_ptr<State> state);
  ~CopiedSource();
  CopiedSource(const CopiedSource&) = delete;
  CopiedSource& operator=(const CopiedSource&) = delete;

  // The SHA-256 of the bytes copied: false, with why, when the source cannot be read whole, or
  // has changed since the copy read it.
  bool digest(Sha256Digest& digest, std::wstring& why) const;

 private:
  std::unique_ptr<State> state_;
};

// The room for a copy's source, asked for before the copy, so that a copy made is never lost to
// a want of memory after it; filled through state once the copy is made.
template <class State>
std::unique_ptr<CopiedSource> roomForCopiedSource(State*& state) {
  auto room = std::make_unique<State>();
  state = room.get();
  return std::make_unique<CopiedSource>(std::move(room));
}

enum class CopyOutcome { Copied, DestinationExists, Failed };

// Why a copy failed: the step that failed, and the system's own words for its error there (or
// what the step's check found).
enum class CopyStep { OpenSource, MakeCopy, CheckSource, PutInPlace };
struct CopyFailure {
  CopyStep step = CopyStep::OpenSource;
  std::wstring reason;
  // A copy made only when a step was tried again, while another program held a file: how often
  // it was tried and what held it ("after 3 tries: ..."); empty when every step went through at
  // once.
  std::wstring retried;

  // Keeps why a step failed. failed() gives the copy's outcome then; stopped() ends a step that
  // says whether it went through.
  CopyOutcome failed(CopyStep failedStep, std::wstring why) {
    step = failedStep;
    reason = std::move(why);
    return CopyOutcome::Failed;
  }
  bool stopped(CopyStep failedStep, std::wstring why) {
    failed(failedStep, std::move(why));
    return false;
  }
};
// The reasons a copy's own checks give; any other reason is the system's text for its error. A
// source that is not a regular file is named for what it is where that is a folder or a device.
inline constexpr wchar_t NOT_A_REGULAR_FILE[] = L"not a regular file";
inline constexpr wchar_t A_FOLDER[] = L"a folder";
inline constexpr wchar_t NOT_A_FOLDER[] = L"something that is not a folder has that name";
inline constexpr wchar_t A_DEVICE[] = L"a device";
// Whether why says what the path is rather than how reading it failed: there was no file to read.
inline bool namesNoRegularFile(std::wstring_view why) {
  return why == NOT_A_REGULAR_FILE || why == A_FOLDER || why == A_DEVICE;
}
inline constexpr wchar_t FOLDER_HAS_THE_NAME[] = L"a folder has that name";
inline constexpr wchar_t SOURCE_CHANGED[] = L"the source changed while it was copied";

// The folders a run copies from and into. On Linux each is opened once, so that a copy looks up
// one name in it rather than a whole path (a sixth of the copy's time), and a folder renamed or
// swapped for a link during the run does not send later copies elsewhere. A folder that cannot
// be opened is found by its path at each copy, as every folder is on Windows, where this holds
// nothing.
struct FileIdentity;
class CopyFolders {
 public:
  CopyFolders(std::wstring_view source, std::wstring_view destination);
  ~CopyFolders();
  CopyFolders(const CopyFolders&) = delete;
  CopyFolders& operator=(const CopyFolders&) = delete;

 private:
  friend CopyOutcome copyWithoutOverwrite(const wchar_t* source, const wchar_t* destination, CopyFailure& failure,
                                          std::unique_ptr<CopiedSource>* kept, const CopyFolders* folders,
                                          FileIdentity* made);
  struct State;
  const State& state() const { return *state_; }
  std::unique_ptr<State> state_;
};

// Which file a copy is, as it was when it was made: the volume's serial number and the file's
// id on Windows, with its creation time and its change time; the device and inode on Linux,
// with its birth time where the file system keeps one and its change time. A file system may
// hand a freed index or inode to a later file; its birth time, which only the system sets, or
// failing that its change time, tells the two apart. Zero is a time not known.
struct FileIdentity {
  std::uint64_t volume = 0, file = 0, fileHigh = 0;  // fileHigh: the upper half of a 128-bit id
  std::uint64_t born = 0, changed = 0;
  bool operator==(const FileIdentity&) const = default;
};

// A record of format 5 kept one time for a copy: its creation time on Windows, its change time
// on Linux.
FileIdentity identityWithOneTime(std::uint64_t volume, std::uint64_t file, std::uint64_t fileHigh, std::uint64_t time);

// Copies a file; never replaces or changes anything at the destination, never leaves a partial
// file behind, and never makes the copy readable by more users than the source. Given kept, a
// copy that succeeds hands its source over there, still open. Given folders, a path that is one
// of its folders, a separator and a name is taken as that name in that folder. A copy that fails
// says in failure why. Given made, a copy that succeeds says there which file it made
// (zero when that could not be told). On Windows a step that meets a sharing or lock violation
// (an antivirus or indexer holding a file for a moment) is tried again for about a second.
CopyOutcome copyWithoutOverwrite(const wchar_t* source, const wchar_t* destination, CopyFailure& failure,
                                 std::unique_ptr<CopiedSource>* kept = nullptr, const CopyFolders* folders = nullptr,
                                 FileIdentity* made = nullptr);

// What became, or would become, of a file that a run made and that is to be taken back.
// ReadByTheRun: the file is one of those the caller said must never be removed. NotTheFileMade:
// another file than the one the caller said was made stands under its name. StateChanged: its
// change time moved since it was made, and nothing else tells whether it is still that file.
enum class Removal {
  Removed,
  Missing,
  Changed,
  NotRegular,
  OtherLinks,
  Unreadable,
  NotRemoved,
  ReadByTheRun,
  NotTheFileMade,
  StateChanged
};

// Whether now is the file made, as removeIfDigest decides it: Removed when it is, NotTheFileMade
// or StateChanged when it is not or cannot be told to be. A birth time tells one file from
// another only where the system alone sets it (bornBySystem); a creation time that any program
// may set only tells that the file changed.
Removal compareWithMade(const FileIdentity& made, const FileIdentity& now, bool bornBySystem);

// What a path names, links followed, found without changing anything. Unknown: the system
// could not say (a sharing violation, an I/O error, access denied), and why says so.
enum class FileKind { Missing, Regular, Folder, Other, Unknown };
struct FileStatus {
  FileKind kind = FileKind::Missing;
  // Equal for two paths of the same file (or folder) at the same time.
  std::uint64_t volume = 0, file = 0;
  std::wstring why = {};
  bool sameFileAs(const FileStatus& other) const {
    return kind != FileKind::Missing && kind != FileKind::Unknown && kind == other.kind && volume == other.volume &&
           file == other.file;
  }
  bool isAmong(std::span<const FileStatus> files) const {
    for (const FileStatus& other : files)
      if (sameFileAs(other)) return true;
    return false;
  }
};

// Removes the regular file at path only if its bytes have the digest, it has no other link, it
// is none of the files in spared (by identity, whatever its name), it is the very file made
// when that is given, and it is still the file that was checked when it goes; never follows a
// link at path. With dryRun, checks the same and removes nothing (Removed then means it would be
// removed). A file that another process removes or moves away meanwhile is Missing. Given why,
// an outcome of Unreadable or NotRemoved says there the system's reason.
Removal removeIfDigest(const wchar_t* path, const Sha256Digest& digest, bool dryRun,
                       std::span<const FileStatus> spared = {}, const FileIdentity* made = nullptr,
                       std::wstring* why = nullptr);

// The outcome copyWithoutOverwrite would most likely have now, found without changing
// anything: the destination exists, or the source is not a readable file or the destination's
// folder is not a folder; in failure, why a copy would fail.
CopyOutcome previewCopy(const wchar_t* source, const wchar_t* destination, CopyFailure& failure);

// From now on an interrupt (SIGINT, SIGTERM or SIGHUP; Ctrl+C or Ctrl+Break on a console)
// never leaves a partial file of a copy or a replacement in progress: that file is removed, or
// the replacement finished, and the process then ends with status 128 + the signal number.
void endCleanlyOnInterrupt();

FileStatus statusOf(const wchar_t* path);

// Reads a regular file, at most maxBytes bytes of it; false when it cannot be read (why, when
// given, says why), or when the whole file was asked for and it is larger. For reports only:
// the conversion run maps its files instead.
enum class ReadExtent { Start, Whole };
inline constexpr wchar_t LARGER_THAN_READ[] = L"larger than this program reads";  // the whole file, asked for
bool readRegularFile(const wchar_t* path, std::string& bytes, std::size_t maxBytes, ReadExtent extent,
                     std::wstring* why = nullptr);
inline bool readFileStart(const wchar_t* path, std::string& bytes, std::size_t maxBytes, std::wstring* why = nullptr) {
  return readRegularFile(path, bytes, maxBytes, ReadExtent::Start, why);
}
inline bool readWholeFile(const wchar_t* path, std::string& bytes, std::size_t maxBytes, std::wstring* why = nullptr) {
  return readRegularFile(path, bytes, maxBytes, ReadExtent::Whole, why);
}

// Writes a file whole under a short temporary name beside it and then puts it in place of any
// file of that name in one step: a reader sees the old file or the new one, never a part. False,
// with the system's words for why, when it could not.
bool replaceFileAtomically(const wchar_t* path, std::string_view bytes, std::wstring& why);

}  // namespace platform
