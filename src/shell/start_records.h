// Each Start's record, kept where a user's programs keep their own data (%LOCALAPPDATA%\Glyphwarden\),
// never in a graphics folder or beside an image, so that a Start can be taken back even after the
// program was started again. Records are named by a number that grows with each Start.
#pragma once

#include <optional>
#include <string>
#include <string_view>

// The newest records kept; each new one removes the oldest beyond these, with its page.
constexpr std::size_t START_RECORDS_KEPT = 20;

// Keeps a Start's record under the next name; false, with why, when it could not. Where it was
// kept goes into kept, which is left as it was when it was not.
bool keepStartRecord(std::string_view record, std::wstring& kept, std::wstring& why);

// The newest record kept, if any.
std::optional<std::wstring> lastStartRecord();

// Where the page of a kept record goes: beside it, under its name ending ".html".
std::wstring pageOfRecord(std::wstring_view record);
