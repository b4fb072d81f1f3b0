// Paths and names: how a path is split and joined, how the system stores a name, the private
// names of the program's own files. Part of the one platform contract, platform/platform.h.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace platform {

extern const wchar_t PATH_SEPARATOR;
// Whether this system's programs take "/?" for their help, as Windows' do.
extern const bool SLASH_QUESTION_IS_HELP;

// The folder that holds path, as text: what comes before its last separator; "." for a bare
// name, the root for a name in the root.
std::wstring folderOf(std::wstring_view path);
// The name of the file path names: what follows its last separator (or, on Windows, drive).
std::wstring_view nameOf(std::wstring_view path);
// '/' everywhere; '\' too on Windows.
bool isSeparator(wchar_t c);

// The path in the form in which this system takes every name exactly as it stands. On Windows
// it is made absolute once, as GetFullPathNameW makes a typed path, and marked "\\?\"
// ("\\?\UNC\" on a share): a name joined to it later is never normalised again (a trailing
// dot or space stays, a device's name is a file's), and only the system's own limit on length
// applies. A path so marked already stays as it is. On Linux, the path as it is. Where it cannot
// be made, the path as given, for the system to refuse.
std::wstring extendedLengthPath(std::wstring_view path);

// The longest path the system can be given, its terminator included: 32,767 characters.
inline constexpr std::size_t PATH_CAPACITY = 32768;
inline constexpr wchar_t PATH_TOO_LONG[] = L"the path is too long";

// The one way a path is made of a folder and a name in it: the folder, the separator unless the
// folder ends with one (a root; an exact Windows path is never normalised, so a doubled
// separator would stay), the name, appended to out (a std::wstring, or a bounded text that
// refuses what does not fit).
template <class Text>
void appendInFolder(Text& out, std::wstring_view folder, std::wstring_view name) {
  out.append(folder);
  if (folder.empty() || folder.back() != PATH_SEPARATOR) out.append(std::wstring_view(&PATH_SEPARATOR, 1));
  out.append(name);
}
inline std::wstring inFolder(std::wstring_view folder, std::wstring_view name) {
  std::wstring path;
  appendInFolder(path, folder, name);
  return path;
}

// The private names the program's own files have for a moment beside a user's, each
// PREFIX<process>-<n>SUFFIX: the process id and a number of the process's own, so that no two
// programs, nor two files of one, take the same. A copy or a report is written under a
// temporary name; a removal on Linux gives a file the aside name between its check and its
// removal, and a process ended just then leaves the file so named.
inline constexpr wchar_t TEMPORARY_PREFIX[] = L".glyphwarden-";
inline constexpr wchar_t REMOVAL_ASIDE_PREFIX[] = L".glyphwarden-undo-";
inline constexpr wchar_t PRIVATE_NAME_SUFFIX[] = L".tmp";
std::wstring privateName(std::wstring_view prefix, unsigned long processId);

// The path as the system would resolve it now: a relative path joined to the current folder
// (on Windows, as GetFullPathNameW makes it). Nothing when the current folder cannot be told.
std::optional<std::wstring> absolutePath(std::wstring_view path);

// Whether two names in one folder name the same entry: equal on Linux, equal without regard to
// case on Windows.
bool sameFileName(std::wstring_view first, std::wstring_view second);

// A name as this system stores it: UTF-8 bytes where names are bytes (Linux), UTF-16LE units
// where they are wide (Windows). And back: nothing when the bytes cannot be a stored name.
std::string storedNameBytes(std::wstring_view name);
std::optional<std::wstring> nameOfStoredBytes(std::string_view bytes);
// The byte of a stored name, not text, that a character of the name read stands for; nothing
// for a character that is text, and always nothing where names are stored as UTF-16 units.
std::optional<std::uint8_t> undecodedByteOf(wchar_t c);

}  // namespace platform
