// Folders: walked for their names, checked and made. Part of the one platform contract, platform/platform.h.
#pragma once

#include <memory>
#include <string>
#include <string_view>

namespace platform {

// Why a folder walk found nothing: "nothing in it is named *.png".
inline std::wstring nothingIsNamed(std::wstring_view mask) {
  return L"nothing in it is named " + std::wstring(mask);
}

// A walk over the entries of one folder that match a pattern such as "dir\*.png": a name of
// the form PREFIX*SUFFIX, one '*' at most, without regard to case. Folders are entries like
// files.
class DirectoryWalk {
 public:
  DirectoryWalk();
  ~DirectoryWalk();
  DirectoryWalk(const DirectoryWalk&) = delete;
  DirectoryWalk& operator=(const DirectoryWalk&) = delete;

  // True when the first matching entry was found; name() then reads it. Otherwise failure()
  // says why: the system's words, or that nothing in the folder matches.
  bool start(const wchar_t* pattern);
  // Moves to the next matching entry; false when there is none, or when the folder could not
  // be read further (failure() then says why).
  bool next();
  void close();
  const wchar_t* name() const { return name_.c_str(); }
  // Why the walk found nothing or ended before its last entry, in the system's words; empty
  // when it did not.
  const std::wstring& failure() const { return failure_; }

 private:
  struct State;
  std::unique_ptr<State> state_;
  std::wstring name_;
  std::wstring failure_;
};

// Whether a new file can be made in folder, found without leaving anything there; why not, in
// why.
bool canCreateFileIn(const wchar_t* folder, std::wstring& why);

// Makes a folder whose parent exists; true when it is there afterwards (made now or before),
// false with why otherwise.
bool makeFolder(const wchar_t* path, std::wstring& why);

}  // namespace platform
