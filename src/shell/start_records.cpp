#include "shell/start_records.h"

#include <windows.h>

#include <knownfolders.h>
#include <objbase.h>
#include <shlobj.h>

#include <algorithm>
#include <cwchar>
#include <vector>

#include "platform/platform.h"

namespace {

constexpr std::wstring_view RECORD_PREFIX = L"start-";
constexpr std::wstring_view RECORD_SUFFIX = L".json";
constexpr std::wstring_view PAGE_SUFFIX = L".html";
constexpr std::size_t MAX_NUMBER_DIGITS = 9;

// %LOCALAPPDATA% as the user's session sets it (a test or a portable setup may point it
// elsewhere); the known folder where it is not set.
std::wstring localApplicationData() {
  std::wstring value(GetEnvironmentVariableW(L"LOCALAPPDATA", nullptr, 0), L'\0');
  if (!value.empty()) {
    const DWORD length = GetEnvironmentVariableW(L"LOCALAPPDATA", value.data(), static_cast<DWORD>(value.size()));
    if (length > 0 && length < value.size()) return value.substr(0, length);
  }
  PWSTR known = nullptr;
  std::wstring folder;
  if (SUCCEEDED(SHGetKnownFolderPath(FOLDERID_LocalAppData, 0, nullptr, &known))) folder = known;
  CoTaskMemFree(known);
  return folder;
}

std::wstring recordsFolder() {
  const std::wstring base = localApplicationData();
  return base.empty() ? base : platform::inFolder(base, L"Glyphwarden");
}

// The number in a record's name, for names this program gives ("start-000042.json") alone.
std::optional<unsigned long> numberOfRecord(std::wstring_view name) {
  if (!name.starts_with(RECORD_PREFIX) || !name.ends_with(RECORD_SUFFIX)) return std::nullopt;
  const std::wstring_view digits =
      name.substr(RECORD_PREFIX.size(), name.size() - RECORD_PREFIX.size() - RECORD_SUFFIX.size());
  if (digits.size() < 6 || digits.size() > MAX_NUMBER_DIGITS) return std::nullopt;
  unsigned long number = 0;
  for (const wchar_t digit : digits) {
    if (digit < L'0' || digit > L'9') return std::nullopt;
    number = number * 10 + static_cast<unsigned long>(digit - L'0');
  }
  return number;
}

std::wstring recordName(unsigned long number) {
  wchar_t name[32];
  std::swprintf(name, std::size(name), L"%ls%06lu%ls", std::wstring(RECORD_PREFIX).c_str(), number,
                std::wstring(RECORD_SUFFIX).c_str());
  return name;
}

// The numbers of the records kept in folder, lowest first.
std::vector<unsigned long> keptNumbers(const std::wstring& folder) {
  std::vector<unsigned long> numbers;
  platform::DirectoryWalk walk;
  const std::wstring pattern = platform::inFolder(folder, std::wstring(RECORD_PREFIX) + L"*" + RECORD_SUFFIX.data());
  if (!walk.start(pattern.c_str())) return numbers;
  do
    if (const auto number = numberOfRecord(walk.name())) numbers.push_back(*number);
  while (walk.next());
  std::sort(numbers.begin(), numbers.end());
  return numbers;
}

// The oldest records beyond those kept go, each with its page: files this program named and wrote.
// numbers: those kept, lowest first, the newest among them.
void pruneRecords(const std::wstring& folder, const std::vector<unsigned long>& numbers) {
  for (std::size_t i = 0; i + START_RECORDS_KEPT < numbers.size(); ++i) {
    const std::wstring record = platform::inFolder(folder, recordName(numbers[i]));
    DeleteFileW(pageOfRecord(record).c_str());
    DeleteFileW(record.c_str());
  }
}

}  // namespace

bool keepStartRecord(std::string_view record, std::wstring& kept, std::wstring& why) {
  const std::wstring folder = recordsFolder();
  if (folder.empty()) {
    why = L"the user's local application data folder is not known";
    return false;
  }
  if (!platform::makeFolder(folder.c_str(), why)) {
    why = L"cannot make " + folder + L": " + why;
    return false;
  }
  std::vector<unsigned long> numbers = keptNumbers(folder);
  numbers.push_back(numbers.empty() ? 1 : numbers.back() + 1);
  std::wstring path = platform::inFolder(folder, recordName(numbers.back()));
  if (!platform::replaceFileAtomically(path.c_str(), record, why)) return false;
  kept = std::move(path);
  pruneRecords(folder, numbers);
  return true;
}

std::optional<std::wstring> lastStartRecord() {
  const std::wstring folder = recordsFolder();
  if (folder.empty()) return std::nullopt;
  const std::vector<unsigned long> numbers = keptNumbers(folder);
  if (numbers.empty()) return std::nullopt;
  return platform::inFolder(folder, recordName(numbers.back()));
}

std::wstring pageOfRecord(std::wstring_view record) {
  std::wstring page(record.substr(0, record.size() - RECORD_SUFFIX.size()));
  return page.append(PAGE_SUFFIX);
}
