// The --html-report page: one self-contained HTML file (no script, no network, every picture
// embedded) with the firmware images, the counts, and one tile per PNG walked.
#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "engine/reported_run.h"

struct HtmlReportRun : ReportedRun {
  // The bytes of a walked PNG; false when it cannot be read or is too large.
  std::function<bool(const GraphicRecord& graphic, std::string& bytes)> readPicture;
  // The bytes of the file now at a copy's destination, shown beside a duplicate.
  std::function<bool(const CopyRecord& copy, std::string& bytes)> readExisting;
};

// Pictures larger than this are not embedded; their tile says so.
constexpr std::size_t HTML_REPORT_PICTURE_LIMIT = 1u << 20;

// run.record must be set.
std::string formatHtmlReport(const HtmlReportRun& run);

// Writes the page of a run to file, its pictures read where the run read and wrote them: whole
// or not at all. False, with why, when it could not be written.
bool writeHtmlReport(const wchar_t* file, const ReportedRun& run, std::wstring& why);

// The first bytes of every report; isHtmlReport tells a report of this program by its start.
constexpr std::string_view HTML_REPORT_START = "<!DOCTYPE html>\n<html lang=\"en\"><head><meta charset=\"utf-8\">\n";
bool isHtmlReport(std::string_view fileStart);
