// What differs between the systems the tests and the tools run on, one file per OS
// (system_posix.cpp, system_win32.cpp).
#pragma once

#include <cstddef>
#include <filesystem>
#include <string>
#include <vector>

// The path as the program's own wide text.
std::wstring wide(const std::filesystem::path& path);

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

// A small program's own main: entry_posix.cpp and entry_win32.cpp call it with the arguments
// as wide texts, the program's name left out.
int programMain(const std::vector<std::wstring>& arguments);

// Makes the pages of a mapped view of file unreadable behind the mapping's back, as a file
// shortened by another program (POSIX) or a drive removed (Windows: the pages are protected).
void loseMappedPages(const std::filesystem::path& file, const void* view, std::size_t length);
