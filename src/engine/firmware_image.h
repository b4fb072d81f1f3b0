// The two firmware images of one conversion run, opened exclusively and mapped read-only.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "platform/platform.h"

// Which image of a pair could not be opened or mapped, and why, in the system's words.
struct ImageFailure {
  bool original = true;
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

  // Opens and maps both images, reporting each step; on failure reports it, releases what was
  // opened and returns false, failure() then saying which image failed and why.
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
