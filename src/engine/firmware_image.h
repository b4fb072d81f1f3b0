// The two firmware images of one conversion run, opened exclusively and mapped read-only.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "platform/platform.h"

// Which image of a pair could not be opened or mapped, at which step, and why, in the system's
// words.
enum class ImageStep { Open, Mapping, View };
struct ImageFailure {
  bool original = true;
  ImageStep step = ImageStep::Open;
  std::wstring reason;
};

struct FirmwareImage {
  platform::MappedImage image;
  std::uint32_t regionSize = 0;

  // The bytes searched: the whole region, past the end of the file reading as zero.
  std::span<const std::uint8_t> bytes() const { return {image.base(), regionSize}; }
};

class FirmwareImagePair {
 public:
  FirmwareImagePair() = default;
  FirmwareImagePair(const FirmwareImagePair&) = delete;
  FirmwareImagePair& operator=(const FirmwareImagePair&) = delete;
  ~FirmwareImagePair() { release(); }

  // Opens and maps both images; on failure releases what was opened and returns false, failure()
  // then saying which image failed, where and why.
  bool open(const wchar_t* originalPath, const wchar_t* newPath);
  const std::optional<ImageFailure>& failure() const { return failure_; }
  void release();

  // After the images were read: false, with a console line for each, when another program
  // changed, shortened or removed an image meanwhile, so that what was read cannot be trusted.
  bool confirmUnchanged();

  const FirmwareImage& original() const { return original_; }
  const FirmwareImage& newImage() const { return new_; }

 private:
  FirmwareImage original_;
  FirmwareImage new_;
  std::optional<ImageFailure> failure_;
};

// Opens the pair for a run and says on the console what became of it: the step that failed, or
// that the files loaded, with both region sizes.
bool openForRun(FirmwareImagePair& pair, const wchar_t* originalPath, const wchar_t* newPath);
