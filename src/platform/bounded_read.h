// The bounded read of a report's file, the same on both systems once the file is open: at most
// maxBytes of it, or all of it only when it is no larger. Internal to src/platform.
#pragma once

#include <cstdint>
#include <string>

#include "platform/platform.h"

namespace platform {

// size: the file's length as its system reports it at the open. readBlock(buffer, length) gives
// the bytes it read, 0 at the end of the file, or -1 on an error (an interrupted read is
// retried inside it).
template <class ReadBlock>
bool readBounded(std::uint64_t size, std::string& bytes, std::size_t maxBytes, ReadExtent extent, ReadBlock readBlock) {
  const bool wholeOnly = extent == ReadExtent::Whole;
  bytes.clear();
  bool readable = !wholeOnly || size <= maxBytes;
  char block[65536];
  while (readable && bytes.size() < maxBytes + (wholeOnly ? 1 : 0)) {
    const long long got = readBlock(block, sizeof block);
    if (got <= 0) {
      readable = got == 0;
      break;
    }
    bytes.append(block, static_cast<std::size_t>(got));
  }
  if (wholeOnly && bytes.size() > maxBytes) readable = false;  // grew meanwhile
  if (!readable) bytes.clear();
  if (bytes.size() > maxBytes) bytes.resize(maxBytes);
  return readable;
}

}  // namespace platform
