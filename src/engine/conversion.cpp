#include "engine/conversion.h"

#include <cwchar>
#include <string>
#include <vector>

#include "console/append_log.h"
#include "engine/bounded_text.h"
#include "engine/firmware_image.h"
#include "engine/graphic_number.h"
#include "engine/translation_index.h"
#include "platform/platform.h"

namespace {

const wchar_t* resultText(platform::CopyOutcome outcome) {
  switch (outcome) {
    case platform::CopyOutcome::Copied: return L" copied successfully";
    case platform::CopyOutcome::DestinationExists: return L" duplicate";
    case platform::CopyOutcome::Failed: break;
  }
  return L" copy failed.";
}

// A path that does not fit its buffer is never truncated: that copy is refused.
platform::CopyOutcome copyGraphic(std::wstring_view originalGfxFolder, std::wstring_view fileName,
                                  std::wstring_view newGfxFolder, std::uint32_t newNumber) {
  wchar_t newName[16];
  std::swprintf(newName, 16, L"%04X.png", static_cast<unsigned>(newNumber));
  PathText source, destination;
  source.append(originalGfxFolder);
  source.append(platform::PATH_SEPARATOR);
  source.append(fileName);
  destination.append(newGfxFolder);
  destination.append(platform::PATH_SEPARATOR);
  destination.append(newName);
  if (!source.fits() || !destination.fits()) return platform::CopyOutcome::Failed;
  return platform::copyWithoutOverwrite(source.c_str(), destination.c_str());
}

void reportAndCopy(std::uint32_t number, std::uint32_t newNumber, std::wstring_view originalGfxFolder,
                   std::wstring_view fileName, std::wstring_view newGfxFolder) {
  wchar_t line[PATH_TEXT_CAPACITY];
  std::swprintf(line, PATH_TEXT_CAPACITY, L"%04X -> %04X", static_cast<unsigned>(number),
                static_cast<unsigned>(newNumber));
  appendLog(line);

  BoundedText<260> result;
  result.append(resultText(copyGraphic(originalGfxFolder, fileName, newGfxFolder, newNumber)));
  result.append(L"\r\n");
  appendLog(result.c_str());
}

}  // namespace

bool runConversion(std::wstring_view originalGfxFolder, std::wstring_view newGfxFolder,
                   std::wstring_view originalFirmwarePath, std::wstring_view newFirmwarePath) {
  FirmwareImagePair images;
  if (!images.open(std::wstring(originalFirmwarePath).c_str(), std::wstring(newFirmwarePath).c_str())) return false;

  PathText pattern;
  pattern.append(originalGfxFolder);
  pattern.append(platform::PATH_SEPARATOR);
  pattern.append(L"*.png");
  platform::DirectoryWalk walk;
  if (!pattern.fits() || !walk.start(pattern.c_str())) {
    appendLog(L"original gfx dir not found..\r\n");
    return false;  // the pair is released by its owner, in its order
  }

  // The walk is read whole first, so that each image is read once for all the numbers.
  struct Graphic {
    std::wstring fileName;
    std::uint32_t number;
  };
  std::vector<Graphic> graphics;
  std::vector<std::uint32_t> numbers;
  do {
    // Names without a number, and number 0, are skipped in silence.
    if (const auto number = scanGraphicNumber(walk.name()); number && *number != 0) {
      graphics.push_back({walk.name(), *number});
      numbers.push_back(*number);
    }
  } while (walk.next());
  walk.close();

  TranslationIndex index;
  index.build(images.original().bytes(), images.updated().bytes(), std::move(numbers));
  std::vector<std::uint32_t> newNumbers;
  for (const Graphic& graphic : graphics) {
    newNumbers.clear();
    index.translate(graphic.number, newNumbers);
    for (const std::uint32_t newNumber : newNumbers)
      reportAndCopy(graphic.number, newNumber, originalGfxFolder, graphic.fileName, newGfxFolder);
  }
  return true;
}
