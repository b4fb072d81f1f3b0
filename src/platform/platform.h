// The operating-system services the conversion run needs. One implementation per OS
// (win32.cpp, posix.cpp); nothing here names an OS type.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace platform {

extern const wchar_t PATH_SEPARATOR;

// An OS handle or descriptor held as an integer, so this header stays OS-neutral.
using NativeValue = std::intptr_t;

// A file opened for reading only and without sharing: no other open of it succeeds while
// this one lives. Anything that is not a regular file cannot be opened this way.
class ExclusiveFile {
 public:
  ExclusiveFile() = default;
  ExclusiveFile(const ExclusiveFile&) = delete;
  ExclusiveFile& operator=(const ExclusiveFile&) = delete;
  ~ExclusiveFile() { close(); }

  bool open(const wchar_t* path);
  void close();
  bool isOpen() const;

 private:
  friend class FileMapping;
  NativeValue native_ = invalidValue();
  static NativeValue invalidValue();
};

// A read-only mapping of a whole file. A file of length 0 cannot be mapped.
class FileMapping {
 public:
  FileMapping() = default;
  FileMapping(const FileMapping&) = delete;
  FileMapping& operator=(const FileMapping&) = delete;
  ~FileMapping() { close(); }

  bool create(const ExclusiveFile& file);
  void close();
  bool isOpen() const { return native_ != 0; }

 private:
  friend class MappedView;
  NativeValue native_ = 0;
  // Where the OS has no mapping object, the view maps the file itself.
  NativeValue file_ = 0;
  std::uint64_t fileLength_ = 0;
};

// A read-only view of a whole mapping. regionSize is the size of the view's memory region:
// the file length rounded up to whole 4,096-byte pages, the tail reading as zero.
class MappedView {
 public:
  MappedView() = default;
  MappedView(const MappedView&) = delete;
  MappedView& operator=(const MappedView&) = delete;
  ~MappedView() { unmap(); }

  bool map(const FileMapping& mapping);
  void unmap();
  bool isMapped() const { return base_ != nullptr; }

  // Asks the OS for the size of the view's region; 0 when not mapped.
  std::uint32_t queryRegionSize() const;
  const std::uint8_t* base() const { return base_; }

 private:
  const std::uint8_t* base_ = nullptr;
  std::size_t mappedLength_ = 0;
  std::uint32_t regionSize_ = 0;  // where the OS cannot be asked for it
};

// A walk over the entries of one folder that match a pattern such as "dir\*.png"
// (case-insensitive). Folders are entries like files.
class DirectoryWalk {
 public:
  DirectoryWalk() = default;
  DirectoryWalk(const DirectoryWalk&) = delete;
  DirectoryWalk& operator=(const DirectoryWalk&) = delete;
  ~DirectoryWalk() { close(); }

  // True when the first matching entry was found; name() then reads it.
  bool start(const wchar_t* pattern);
  // Moves to the next matching entry; false when there is none.
  bool next();
  void close();
  const wchar_t* name() const { return name_.c_str(); }

 private:
  NativeValue native_ = 0;
  std::wstring directory_;
  std::wstring mask_;
  std::wstring name_;
};

enum class CopyOutcome { Copied, DestinationExists, Failed };

// Copies a file; never replaces or changes anything at the destination, and leaves no partial
// file behind when it fails.
CopyOutcome copyWithoutOverwrite(const wchar_t* source, const wchar_t* destination);

// The outcome copyWithoutOverwrite would most likely have now, found without changing
// anything: the destination exists, or the source is not a readable file or the destination's
// folder is not a folder.
CopyOutcome previewCopy(const wchar_t* source, const wchar_t* destination);

}  // namespace platform

namespace platform {

// Reads a whole regular file of at most maxBytes bytes; false when it cannot be read or is
// larger. For reports only: the conversion run maps its files instead.
bool readWholeFile(const wchar_t* path, std::string& bytes, std::size_t maxBytes);

// Writes a file whole under a temporary name beside it and then puts it in place of any file
// of that name in one step: a reader sees the old file or the new one, never a part.
bool replaceFileAtomically(const wchar_t* path, std::string_view bytes);

enum class Stream { Output, Error };

// Writes text to standard output or error with this OS's line ends: a console gets wide
// text, a file or pipe gets UTF-8. Texts carry "\r\n" line ends.
void writeText(Stream stream, std::wstring_view text);
void flushText(Stream stream);

}  // namespace platform
