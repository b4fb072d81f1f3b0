#include "cli/duplicates.h"

#include <map>

#include "platform/platform.h"

std::wstring pathInFolder(std::wstring_view folder, std::wstring_view name) {
  std::wstring path(folder);
  path += platform::PATH_SEPARATOR;
  path += name;
  return path;
}

void compareDuplicates(RunRecord& record, std::wstring_view originalGfx, std::wstring_view newGfx) {
  std::map<std::uint32_t, const GraphicRecord*> plannedBy;  // a dry run's first copy to each number
  for (GraphicRecord& graphic : record.graphics) {
    for (CopyRecord& copy : graphic.copies) {
      if (copy.result == CopyResult::WouldCopy) plannedBy.emplace(copy.newNumber, &graphic);
      if (copy.result != CopyResult::Duplicate) continue;
      std::string mine, existing;
      if (!platform::readWholeFile(pathInFolder(originalGfx, graphic.fileName).c_str(), mine, DUPLICATE_COMPARE_LIMIT))
        continue;
      bool read = platform::readWholeFile(pathInFolder(newGfx, newGraphicName(copy.newNumber)).c_str(), existing,
                                          DUPLICATE_COMPARE_LIMIT);
      if (!read) {
        const auto planned = plannedBy.find(copy.newNumber);
        read = planned != plannedBy.end() &&
               platform::readWholeFile(pathInFolder(originalGfx, planned->second->fileName).c_str(), existing,
                                       DUPLICATE_COMPARE_LIMIT);
      }
      if (read) copy.identicalToExisting = mine == existing;
    }
  }
}
