// Duplicates shown for what they are: a copy refused because its destination exists is
// harmless when the file there has the same bytes, and a real conflict when it does not.
#pragma once

#include <map>
#include <optional>

#include "engine/run_record.h"

// Pictures larger than this are not compared; their duplicates stay undecided.
constexpr std::size_t DUPLICATE_COMPARE_LIMIT = 64u << 20;

// For each duplicate copy that could be compared: whether the file already at its destination
// has the same bytes as the PNG that was not copied.
class DuplicateVerdicts {
 public:
  void set(const CopyRecord& copy, bool identical) { identical_[&copy] = identical; }
  std::optional<bool> identicalToExisting(const CopyRecord& copy) const {
    const auto found = identical_.find(&copy);
    return found == identical_.end() ? std::nullopt : std::optional<bool>(found->second);
  }

 private:
  std::map<const CopyRecord*, bool> identical_;
};

// Compares every duplicate copy of a recorded run, reading the files at the paths the run
// composed. The file a duplicate met is the one now at its destination; in a dry run that was
// never written, the PNG that an earlier line of the same run would have copied there.
DuplicateVerdicts compareDuplicates(const RunRecord& record);
