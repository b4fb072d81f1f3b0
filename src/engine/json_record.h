// The --json record: what a run did, for other programs to read. Its shape is described by
// docs/run-record.schema.json.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "engine/reported_run.h"

constexpr std::string_view JSON_RECORD_FORMAT = "glyphwarden-run";
// 2 added the SHA-256 of the images and of each PNG, and each copy's anchor and pairs; 3 added
// the absolute path of each image and folder, as resolved when the run started; 4 added the
// reason of each failed copy; 5 added which file each copy made is (its identity); 6 gives the
// identity two times, so that a later file on a reused index or inode is told apart.
constexpr int JSON_RECORD_FORMAT_VERSION = 6;
// The first version whose record says which file each copy made is.
constexpr int JSON_RECORD_IDENTITY_VERSION = 5;

std::string formatJsonRecord(const ReportedRun& run);

// Tells a record of this program by the start of its file, as this program writes it: whether
// a file may be replaced by a new record.
bool isJsonRecord(std::string_view fileStart);

// Bytes as the record writes them (a digest, a stored name): two lower-case hexadecimal digits
// each; and back, nothing when the text is not such digits.
std::string hexOf(std::span<const std::uint8_t> bytes);
std::optional<std::string> bytesOfHex(std::string_view hex);

// A copy's identity as the record writes it, and back, as a record of formatVersion wrote it:
// nothing when the field is not one.
std::string identityText(const platform::FileIdentity& identity);
std::optional<platform::FileIdentity> identityOfText(std::string_view text, int formatVersion);

// The name a "...StoredHex" field holds, as the file system stores it; nothing when the field is
// not such a name.
std::optional<std::wstring> nameFromStoredHex(std::string_view hex);
