// The operating-system services the conversion run and its hosts need. Each system implements
// them in files of its own, one concern each (win32_*.cpp, posix_*.cpp), keeping its own state;
// nothing here names an OS type. paths.cpp and utf8.cpp are shared.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <new>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace platform {

extern const wchar_t PATH_SEPARATOR;
// Whether this system's programs take "/?" for their help, as Windows' do.
extern const bool SLASH_QUESTION_IS_HELP;

// The folder that holds path, as text: what comes before its last separator; "." for a bare
// name, the root for a name in the root.
std::wstring folderOf(std::wstring_view path);
// The name of the file path names: what follows its last separator (or, on Windows, drive).
std::wstring_view nameOf(std::wstring_view path);
// '/' everywhere; '\' too on Windows.
bool isSeparator(wchar_t c);

// The path in the form in which this system takes every name exactly as it stands. On Windows
// it is made absolute once, as GetFullPathNameW makes a typed path, and marked "\\?\"
// ("\\?\UNC\" on a share): a name joined to it later is never normalised again (a trailing
// dot or space stays, a device's name is a file's), and only the system's own limit on length
// applies. A path so marked already stays as it is. On Linux, the path as it is. Where it cannot
// be made, the path as given, for the system to refuse.
std::wstring exactPath(std::wstring_view path);

// The longest path the system can be given, its terminator included: 32,767 characters.
inline constexpr std::size_t PATH_CAPACITY = 32768;
inline constexpr wchar_t PATH_TOO_LONG[] = L"the path is too long";

// The one way a path is made of a folder and a name in it: the folder, the separator unless the
// folder ends with one (a root; an exact Windows path is never normalised, so a doubled
// separator would stay), the name, appended to out (a std::wstring, or a bounded text that
// refuses what does not fit).
template <class Text>
void appendInFolder(Text& out, std::wstring_view folder, std::wstring_view name) {
  out.append(folder);
  if (folder.empty() || folder.back() != PATH_SEPARATOR) out.append(std::wstring_view(&PATH_SEPARATOR, 1));
  out.append(name);
}
inline std::wstring inFolder(std::wstring_view folder, std::wstring_view name) {
  std::wstring path;
  appendInFolder(path, folder, name);
  return path;
}

// A firmware image: a file opened for reading only and without sharing (no other open of it
// succeeds while this one lives), mapped whole and read-only. The three steps are taken one by
// one because their failures are told apart; release() undoes whatever was done, in one order:
// the view, then the mapping, then the file.
class MappedImage {
 public:
  MappedImage();
  ~MappedImage();
  MappedImage(const MappedImage&) = delete;
  MappedImage& operator=(const MappedImage&) = delete;

  // Anything that is not a regular file cannot be opened this way.
  bool open(const wchar_t* path);
  // A whole-file, read-only mapping; a file of length 0 cannot be mapped.
  bool createMapping();
  // A read-only view of the whole mapping.
  bool mapView();
  void release();

  // Asks the OS for the size of the view's memory region: the file length rounded up to whole
  // 4,096-byte pages. 0 when there is no view.
  std::uint32_t queryRegionSize() const;
  // The view's first byte; the region past the end of the file reads as zero.
  const std::uint8_t* base() const;
  // The length of the file when it was mapped. 0 when there is no view.
  std::uint64_t fileLength() const;

  // False when the file was written, truncated or removed since it was mapped. Reading a part
  // of the view that the file no longer has never faults: it reads as zero, and this says so.
  bool unchangedSinceMapped() const;

  // Why the last step that failed failed, in the system's words (or "the file is empty").
  const std::wstring& failure() const;

 private:
  struct State;
  std::unique_ptr<State> state_;
};

inline constexpr wchar_t FILE_IS_EMPTY[] = L"the file is empty";
inline constexpr wchar_t FILE_TOO_LARGE[] = L"the file is larger than 4 GiB";

// Why a folder walk found nothing: "nothing in it is named *.png".
std::wstring nothingIsNamed(std::wstring_view mask);

// A walk over the entries of one folder that match a pattern such as "dir\*.png": a name of
// the form PREFIX*SUFFIX, one '*' at most, without regard to case. Folders are entries like
// files.
class DirectoryWalk {
 public:
  DirectoryWalk();
  ~DirectoryWalk();
  DirectoryWalk(const DirectoryWalk&) = delete;
  DirectoryWalk& operator=(const DirectoryWalk&) = delete;

  // True when the first matching entry was found; name() then reads it. Otherwise failure()
  // says why: the system's words, or that nothing in the folder matches.
  bool start(const wchar_t* pattern);
  // Moves to the next matching entry; false when there is none, or when the folder could not
  // be read further (failure() then says why).
  bool next();
  void close();
  const wchar_t* name() const { return name_.c_str(); }
  // Why the walk found nothing or ended before its last entry, in the system's words; empty
  // when it did not.
  const std::wstring& failure() const { return failure_; }

 private:
  struct State;
  std::unique_ptr<State> state_;
  std::wstring name_;
  std::wstring failure_;
};

// SHA-256, from the system's own library (CNG on Windows, OpenSSL's libcrypto on Linux).
using Sha256Digest = std::array<std::uint8_t, 32>;
class Sha256 {
 public:
  Sha256();
  ~Sha256();
  Sha256(const Sha256&) = delete;
  Sha256& operator=(const Sha256&) = delete;

  void update(std::span<const std::uint8_t> bytes);
  // False when the library failed at any step; the hasher is used up either way.
  bool finish(Sha256Digest& digest);

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
// Why a digest was not made when the file was read but the library refused.
inline constexpr wchar_t HASHING_FAILED[] = L"the SHA-256 library failed";
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

enum class CopyOutcome { Copied, DestinationExists, Failed };

// Why a copy failed: the step that failed, and the system's own words for its error there (or
// what the step's check found).
enum class CopyStep { OpenSource, MakeCopy, CheckSource, PutInPlace };
struct CopyFailure {
  CopyStep step = CopyStep::OpenSource;
  std::wstring reason;

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
// removed). A file that another process removes or moves away meanwhile is Missing.
Removal removeIfDigest(const wchar_t* path, const Sha256Digest& digest, bool dryRun,
                       std::span<const FileStatus> spared = {}, const FileIdentity* made = nullptr);

// The private names the program's own files have for a moment beside a user's, each
// PREFIX<process>-<n>SUFFIX: the process id and a number of the process's own, so that no two
// programs, nor two files of one, take the same. A copy or a report is written under a
// temporary name; a removal on Linux gives a file the aside name between its check and its
// removal, and a process ended just then leaves the file so named.
inline constexpr wchar_t TEMPORARY_PREFIX[] = L".glyphwarden-";
inline constexpr wchar_t REMOVAL_ASIDE_PREFIX[] = L".glyphwarden-undo-";
inline constexpr wchar_t PRIVATE_NAME_SUFFIX[] = L".tmp";
std::wstring privateName(std::wstring_view prefix, unsigned long processId);

// The outcome copyWithoutOverwrite would most likely have now, found without changing
// anything: the destination exists, or the source is not a readable file or the destination's
// folder is not a folder; in failure, why a copy would fail.
CopyOutcome previewCopy(const wchar_t* source, const wchar_t* destination, CopyFailure& failure);

// From now on an interrupt (SIGINT, SIGTERM or SIGHUP; Ctrl+C or Ctrl+Break on a console)
// never leaves a partial file of a copy or a replacement in progress: that file is removed, or
// the replacement finished, and the process then ends with status 128 + the signal number.
void endCleanlyOnInterrupt();

// The program's own threads, lock and condition, on each system's own primitives: on Windows
// CreateThread, SRWLOCK and CONDITION_VARIABLE, which cannot fail once made, so that nothing in
// the C++ runtime's thread layer (winpthreads) lies between the program and the system.

// Room for a system object kept inside its owner rather than on the heap: making the owner asks
// for no memory, so it cannot fail, and an owner that is a member is never left half made. Each
// system's file defines the State it holds.
template <std::size_t Size>
class StateRoom {
 public:
  template <class State>
  void make() {
    static_assert(sizeof(State) <= Size && alignof(State) <= alignof(std::max_align_t), "StateRoom too small");
    ::new (bytes_) State();
  }
  template <class State>
  void unmake() {
    as<State>().~State();
  }
  template <class State>
  State& as() {
    return *std::launder(reinterpret_cast<State*>(bytes_));
  }
  template <class State>
  const State& as() const {
    return *std::launder(reinterpret_cast<const State*>(bytes_));
  }

 private:
  alignas(std::max_align_t) unsigned char bytes_[Size];
};

// A thread that never takes an interrupt: on Linux SIGINT, SIGTERM and SIGHUP are blocked in it
// from its first instruction, so the main thread takes them and the steps it holds them around
// stay whole (a signal mask is a thread's own). On Windows a console interrupt comes on a thread
// of its own in any case. A thread that was started is joined when this goes.
class Thread {
 public:
  Thread();
  ~Thread();
  Thread(const Thread&) = delete;
  Thread& operator=(const Thread&) = delete;

  // Starts work on a new thread; false, and nothing started, when no thread can be had.
  bool start(std::function<void()> work);
  bool started() const;
  // Waits for the thread to end; it may then be started again.
  void join();

 private:
  struct State;
  State& state() { return state_.as<State>(); }
  const State& state() const { return state_.as<State>(); }
  StateRoom<64> state_;
};

// Whether a second thread has a core of its own to run on.
bool severalCores();

class Lock {
 public:
  Lock();
  ~Lock();
  Lock(const Lock&) = delete;
  Lock& operator=(const Lock&) = delete;
  void acquire();
  void release();

 private:
  friend class Condition;
  struct State;
  State& state() { return state_.as<State>(); }
  StateRoom<64> state_;
};

class LockHeld {
 public:
  explicit LockHeld(Lock& lock) : lock_(lock) { lock_.acquire(); }
  ~LockHeld() { lock_.release(); }
  LockHeld(const LockHeld&) = delete;
  LockHeld& operator=(const LockHeld&) = delete;

 private:
  Lock& lock_;
};

class Condition {
 public:
  Condition();
  ~Condition();
  Condition(const Condition&) = delete;
  Condition& operator=(const Condition&) = delete;
  // Releases the held lock while it waits, and holds it again before it returns; it may return
  // without a wake, so the caller waits in a loop until what it waits for holds.
  void wait(Lock& held);
  void wakeOne();

 private:
  struct State;
  State& state() { return state_.as<State>(); }
  StateRoom<64> state_;
};

FileStatus statusOf(const wchar_t* path);

// The path as the system would resolve it now: a relative path joined to the current folder
// (on Windows, as GetFullPathNameW makes it). Nothing when the current folder cannot be told.
std::optional<std::wstring> absolutePath(std::wstring_view path);

// Whether a new file can be made in folder, found without leaving anything there; why not, in
// why.
bool canCreateFileIn(const wchar_t* folder, std::wstring& why);

// Makes a folder whose parent exists; true when it is there afterwards (made now or before),
// false with why otherwise.
bool makeFolder(const wchar_t* path, std::wstring& why);

// Whether two names in one folder name the same entry: equal on Linux, equal without regard to
// case on Windows.
bool sameFileName(std::wstring_view first, std::wstring_view second);

// A name as this system stores it: UTF-8 bytes where names are bytes (Linux), UTF-16LE units
// where they are wide (Windows). And back: nothing when the bytes cannot be a stored name.
std::string storedNameBytes(std::wstring_view name);
std::optional<std::wstring> nameOfStoredBytes(std::string_view bytes);
// The byte of a stored name, not text, that a character of the name read stands for; nothing
// for a character that is text, and always nothing where names are stored as UTF-16 units.
std::optional<std::uint8_t> undecodedByteOf(wchar_t c);

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

enum class Stream { Output, Error };

// Writes text to standard output or error with this OS's line ends: a console gets wide
// text, a file or pipe gets UTF-8. Texts carry "\r\n" line ends.
void writeText(Stream stream, std::wstring_view text);
// Pushes out what was written; false when any write to the stream so far has failed.
bool flushText(Stream stream);

}  // namespace platform
