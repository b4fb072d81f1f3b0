// What differs between the systems the tests run on, one file per OS (test_system_posix.cpp,
// test_system_win32.cpp).
#pragma once

#include <cstddef>
#include <filesystem>
#include <string>

// How the programs end a line of standard output: "\r\n" on Windows, "\n" elsewhere.
extern const char OUTPUT_LINE_END[];

// Makes every missing folder of path, and removes a folder with all it holds: through the
// system's own calls, since MinGW's std::filesystem cannot walk or make folders whose paths
// pass 260 characters (on Windows these take the path as a \\?\ path). False when a folder
// could not be made.
bool makeFolders(const std::wstring& path);
void removeFolderTree(const std::wstring& path);

// A FIFO, a symbolic link to a character device (/dev/null), and a symbolic link to itself
// (whose status the system cannot give), at path; false where the system has none of them
// (Windows), or they cannot be made here.
bool makeFifo(const std::filesystem::path& path);
bool makeLinkToADevice(const std::filesystem::path& path);
bool makeLinkLoop(const std::filesystem::path& path);

// Makes the pages of a mapped view of file unreadable behind the mapping's back, as a file
// shortened by another program (POSIX) or a drive removed (Windows: the pages are protected).
void loseMappedPages(const std::filesystem::path& file, const void* view, std::size_t length);
