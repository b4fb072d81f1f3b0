#include "engine/duplicates.h"

#include <map>

#include "platform/platform.h"

DuplicateVerdicts compareDuplicates(const RunRecord& record) {
  DuplicateVerdicts verdicts;
  std::map<std::uint32_t, const GraphicRecord*> plannedBy;  // a dry run's first copy to each number
  for (const GraphicRecord& graphic : record.graphics) {
    // The PNG is read once, at its first duplicate, however many of its copies are duplicates.
    enum class OwnBytes { Unread, Read, Unreadable } ownBytes = OwnBytes::Unread;
    std::string mine;
    for (const CopyRecord& copy : graphic.copies) {
      if (copy.result == CopyResult::WouldCopy) plannedBy.emplace(copy.newNumber, &graphic);
      if (copy.result != CopyResult::Duplicate) continue;
      if (ownBytes == OwnBytes::Unread)
        ownBytes = platform::readWholeFile(graphic.path.c_str(), mine, DUPLICATE_COMPARE_LIMIT) ? OwnBytes::Read
                                                                                                : OwnBytes::Unreadable;
      if (ownBytes == OwnBytes::Unreadable) continue;
      std::string existing;
      bool read = platform::readWholeFile(copy.destination.c_str(), existing, DUPLICATE_COMPARE_LIMIT);
      if (!read) {
        const auto planned = plannedBy.find(copy.newNumber);
        read = planned != plannedBy.end() &&
               platform::readWholeFile(planned->second->path.c_str(), existing, DUPLICATE_COMPARE_LIMIT);
      }
      if (read) verdicts.set(copy, mine == existing);
    }
  }
  return verdicts;
}
