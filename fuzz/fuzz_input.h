// Reads a fuzzer's bytes as a stream of small decisions.
#pragma once

#include <cstddef>
#include <cstdint>

class FuzzInput {
 public:
  FuzzInput(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
  bool empty() const { return at_ >= size_; }
  std::uint8_t byte() { return at_ < size_ ? data_[at_++] : 0; }
  std::uint16_t word16() { return static_cast<std::uint16_t>(byte() | byte() << 8); }
  std::uint32_t word32() { return static_cast<std::uint32_t>(word16()) | static_cast<std::uint32_t>(word16()) << 16; }

 private:
  const std::uint8_t* data_;
  std::size_t size_;
  std::size_t at_ = 0;
};
