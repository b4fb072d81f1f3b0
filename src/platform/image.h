// A firmware image mapped for reading. Part of the one platform contract, platform/platform.h.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>

namespace platform {

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
// The longest image mapped: its region size, the length rounded up to a page, must fit in 32
// bits on every system and build.
inline constexpr std::uint64_t MAX_IMAGE_LENGTH = 0x100000000ull - 4096;

}  // namespace platform
