#include "cli/cli.h"

#include <array>
#include <new>
#include <optional>
#include <string_view>

#include "cli/output_file.h"
#include "cli/run_errors.h"
#include "cli/text_report.h"
#include "console/append_log.h"
#include "engine/conversion.h"
#include "engine/digest_worker.h"
#include "engine/display_text.h"
#include "engine/duplicates.h"
#include "engine/html_report.h"
#include "engine/json_record.h"
#include "engine/undo.h"
#include "glyphwarden_version.h"
#include "platform/platform.h"

namespace {

const wchar_t USAGE[] =
    L"usage: glyphwarden-cli --original-firmware FILE --new-firmware FILE\r\n"
    L"                       --original-gfx DIR --new-gfx DIR\r\n"
    L"                       [--dry-run] [--report] [--html-report FILE] [--json FILE]\r\n"
    L"                       [--threads N]\r\n"
    L"       glyphwarden-cli --undo RECORD [--dry-run]\r\n"
    L"       glyphwarden-cli --help | -h | --version\r\n";

const wchar_t HELP[] =
    L"Copies the PNG graphics of the original graphics folder into the new graphics folder,\r\n"
    L"renamed to the graphic numbers of the new firmware. Firmware images are only read and\r\n"
    L"no PNG is ever overwritten.\r\n"
    L"\r\n"
    L"  --original-firmware FILE  firmware image the graphics were made for\r\n"
    L"  --new-firmware FILE       firmware image to carry them to\r\n"
    L"  --original-gfx DIR        folder of the PNGs, named by graphic number (1A2B.png)\r\n"
    L"  --new-gfx DIR             folder that receives the copies\r\n"
    L"  --dry-run                 copy nothing; print \" would copy\" where a copy would be made\r\n"
    L"  --report                  after the run, write the counts, every PNG not carried and\r\n"
    L"                            every copy that failed, with its reason, to standard error\r\n"
    L"  --html-report FILE        after the run, write a page with every PNG, its thumbnail and\r\n"
    L"                            where it went (one self-contained HTML file)\r\n"
    L"  --json FILE               after the run, write a record of it for other programs (JSON:\r\n"
    L"                            every PNG, its number and checksum, where it went and why)\r\n"
    L"  --threads N               make at most N copies at once, 1 to 8 (1: one after another);\r\n"
    L"                            by default as many as this machine makes worthwhile. What is\r\n"
    L"                            printed and recorded is the same whatever N is\r\n"
    L"  --undo RECORD             take back the run that RECORD (from --json) describes: remove\r\n"
    L"                            each file it copied that still has the bytes it copied, and\r\n"
    L"                            nothing else; with --dry-run, only say what would be removed\r\n"
    L"  --help, -h                this text\r\n"
    L"  --version                 the program's version\r\n"
    L"\r\n"
    L"A report or record is never written over a firmware image, into a graphics folder, or\r\n"
    L"over a file that is not an earlier one of the same kind from this program.\r\n"
    L"\r\n"
    L"Exit status: 0 when every PNG carried was copied (or would be) or was a duplicate;\r\n"
    L"1 when the run failed, a copy failed, a report could not be written or the output could\r\n"
    L"not be written; 2 when the command line was not usable; 128 + the signal number when\r\n"
    L"interrupted (no partial file is left). With --undo: 0 when every file the run made is\r\n"
    L"gone afterwards, 1 when any was kept, 2 when the record cannot be used.\r\n";

// The options with a value; the first REQUIRED_COUNT must be given.
enum Option {
  ORIGINAL_FIRMWARE,
  NEW_FIRMWARE,
  ORIGINAL_GFX,
  NEW_GFX,
  HTML_REPORT,
  JSON_RECORD,
  THREADS,
  UNDO,
  OPTION_COUNT
};
constexpr int REQUIRED_COUNT = HTML_REPORT;
constexpr std::array<std::wstring_view, OPTION_COUNT> OPTION_NAMES = {
    L"--original-firmware", L"--new-firmware", L"--original-gfx", L"--new-gfx",
    L"--html-report",       L"--json",         L"--threads",      L"--undo"};

// --threads' value: a whole number from 1 to 8, as written, or nothing.
std::optional<unsigned> threadsGiven(std::wstring_view text) {
  if (text.size() != 1 || text[0] < L'1' || text[0] > L'8') return std::nullopt;
  return static_cast<unsigned>(text[0] - L'0');
}

// The files the command line may write, each with the test that tells an earlier one of its own.
struct OutputFile {
  Option option;
  OwnFileTest ownFile;
};
constexpr OutputFile OUTPUT_FILES[] = {{HTML_REPORT, isHtmlReport}, {JSON_RECORD, isJsonRecord}};

// Progress as the run goes: a line is written whole once its last part has come, and pushed
// out at once, so that an output that fails loses whole lines, never runs two into one.
bool writeToStandardOutput(void* context, const wchar_t* text) {
  std::wstring& line = *static_cast<std::wstring*>(context);
  line += text;
  if (!line.ends_with(L'\n')) return true;
  platform::writeText(platform::Stream::Output, line);
  platform::flushText(platform::Stream::Output);
  line.clear();
  return true;
}

// A command line that cannot be carried out here, though it is well formed.
int refusal(std::wstring_view problem) {
  writeError(problem);
  return EXIT_USAGE;
}

int usageError(std::wstring_view problem) {
  refusal(problem);
  platform::writeText(platform::Stream::Error, USAGE);
  return EXIT_USAGE;
}

std::optional<Option> optionNamed(std::wstring_view name) {
  for (int i = 0; i < OPTION_COUNT; ++i)
    if (OPTION_NAMES[i] == name) return static_cast<Option>(i);
  return std::nullopt;
}

ReportedRun describeRun(const RunPaths& paths, const AbsolutePaths& absolute, const RunRecord& record, bool dryRun,
                        bool succeeded) {
  return {paths, &record, dryRun, succeeded, GLYPHWARDEN_VERSION, absolute.view()};
}

// What the command line asks for, as read.
struct CommandLine {
  std::array<std::optional<std::wstring>, OPTION_COUNT> values;
  bool dryRun = false, report = false;
  RunPaths paths() const {
    return {.originalFirmware = *values[ORIGINAL_FIRMWARE],
            .newFirmware = *values[NEW_FIRMWARE],
            .originalGfx = *values[ORIGINAL_GFX],
            .newGfx = *values[NEW_GFX]};
  }
};

// Reads the arguments; the exit status when the command line ends there (--help, --version, or a
// usage error).
std::optional<int> readArguments(const std::vector<std::wstring>& arguments, CommandLine& line) {
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    std::wstring_view argument = arguments[i];
    if (argument == L"--dry-run" || argument == L"--report") {
      bool& flag = argument == L"--dry-run" ? line.dryRun : line.report;
      if (flag) return usageError(std::wstring(argument) + L" given twice");
      flag = true;
      continue;
    }
    if (argument == L"--help" || argument == L"-h" || (platform::SLASH_QUESTION_IS_HELP && argument == L"/?")) {
      platform::writeText(platform::Stream::Output, std::wstring(USAGE) + L"\r\n" + HELP);
      return 0;
    }
    if (argument == L"--version") {
      platform::writeText(platform::Stream::Output, L"glyphwarden-cli " GLYPHWARDEN_VERSION L"\r\n");
      return 0;
    }
    std::optional<std::wstring_view> inlineValue;
    if (const auto equals = argument.find(L'='); argument.starts_with(L"--") && equals != std::wstring_view::npos) {
      inlineValue = argument.substr(equals + 1);
      argument = argument.substr(0, equals);
    }
    const auto option = optionNamed(argument);
    if (!option) return usageError(L"unknown option " + std::wstring(argument));
    if (line.values[*option]) return usageError(std::wstring(argument) + L" given twice");
    if (!inlineValue && i + 1 >= arguments.size()) return usageError(std::wstring(argument) + L" needs a value");
    line.values[*option] = inlineValue ? std::wstring(*inlineValue) : arguments[++i];
  }
  return std::nullopt;
}

int checkAndUndo(const CommandLine& line) {
  for (int i = 0; i < OPTION_COUNT; ++i)
    if (i != UNDO && line.values[i]) return usageError(L"--undo takes no " + std::wstring(OPTION_NAMES[i]));
  if (line.report) return usageError(L"--undo takes no --report");
  const std::wstring& record = *line.values[UNDO];
  if (record.empty()) return usageError(L"--undo needs a record");
  if (const std::wstring why = platform::whyHashingIsUnavailable(); !why.empty())
    return refusal(L"--undo compares SHA-256 checksums, and " + why + L"; nothing was removed");
  std::wstring pending;
  installLogSink(writeToStandardOutput, &pending);
  const UndoCounts counts = undoRun(record, line.dryRun);
  installLogSink(nullptr, nullptr);
  if (!counts.refusal.empty()) return refusal(counts.refusal);
  const bool flushed = platform::flushText(platform::Stream::Output);
  return counts.kept == 0 && flushed ? 0 : EXIT_RUN_FAILED;
}

// The exit status when a run cannot be done as asked; every output file is checked before
// anything is copied.
std::optional<int> refusalOfRun(const CommandLine& line) {
  const auto& values = line.values;
  for (int i = 0; i < REQUIRED_COUNT; ++i)
    if (!values[i]) return usageError(L"missing " + std::wstring(OPTION_NAMES[i]));
  // The window takes an empty folder text as it comes; a command line that names the root
  // folder by accident must not be.
  for (const Option folder : {ORIGINAL_GFX, NEW_GFX})
    if (values[folder]->empty()) return usageError(std::wstring(OPTION_NAMES[folder]) + L" needs a folder");
  if (values[THREADS] && !threadsGiven(*values[THREADS]))
    return usageError(L"--threads takes a number from 1 to 8, not " + displayText(*values[THREADS]));
  for (const OutputFile& output : OUTPUT_FILES)
    if (values[output.option] && values[output.option]->empty())
      return usageError(std::wstring(OPTION_NAMES[output.option]) + L" needs a file name");
  for (const OutputFile& output : OUTPUT_FILES) {
    if (!values[output.option]) continue;
    const std::wstring& file = *values[output.option];
    if (const std::wstring why = refusalOfOutputFile(file, line.paths(), output.ownFile); !why.empty())
      return refusal(std::wstring(OPTION_NAMES[output.option]) + L" " + displayText(file) + L" " + why +
                     L"; nothing was done, choose another file");
  }
  // As cp refuses a target folder that is not there, before it copies anything.
  if (const platform::FileStatus newGfx = platform::statusOf(values[NEW_GFX]->c_str());
      newGfx.kind == platform::FileKind::Unknown)
    return refusal(L"cannot check the new graphics folder " + displayText(*values[NEW_GFX]) + L": " + newGfx.why +
                   L"; nothing was done");
  else if (newGfx.kind != platform::FileKind::Folder)
    return refusal(L"the new graphics folder " + displayText(*values[NEW_GFX]) +
                   (newGfx.kind == platform::FileKind::Missing ? L" is not there" : L" is not a folder") +
                   L"; nothing was done");
  if (values[HTML_REPORT] && values[JSON_RECORD] && sameOutputFile(*values[HTML_REPORT], *values[JSON_RECORD]))
    return usageError(L"--html-report and --json name the same file");
  if (values[JSON_RECORD])
    if (const std::wstring why = platform::whyHashingIsUnavailable(); !why.empty())
      return refusal(L"--json records SHA-256 checksums, and " + why + L"; nothing was done");
  return std::nullopt;
}

// Writes the reports asked for; false when one could not be written.
bool writeReports(const CommandLine& line, const RunRecord& record, ReportedRun described) {
  const auto& values = line.values;
  if (line.report) platform::writeText(platform::Stream::Error, formatTextReport(record, line.dryRun));
  DuplicateVerdicts verdicts;
  if (values[HTML_REPORT] || values[JSON_RECORD]) verdicts = compareDuplicates(record);
  described.duplicates = &verdicts;
  bool written = true;
  std::wstring why;
  if (values[HTML_REPORT] && !writeHtmlReport(values[HTML_REPORT]->c_str(), described, why)) {
    writeError(L"cannot write the HTML report " + displayText(*values[HTML_REPORT]) + L": " + why);
    written = false;
  }
  if (values[JSON_RECORD] &&
      !platform::replaceFileAtomically(values[JSON_RECORD]->c_str(), formatJsonRecord(described), why)) {
    writeError(L"cannot write the JSON record " + displayText(*values[JSON_RECORD]) + L": " + why);
    written = false;
  }
  return written;
}

int runAndReport(const CommandLine& line) {
  const RunPaths paths = line.paths();
  const AbsolutePaths absolute(paths);
  RunRecord record;
  ConversionOptions options;
  options.dryRun = line.dryRun;
  options.record = &record;
  options.digests = line.values[JSON_RECORD].has_value();
  if (line.values[THREADS]) options.threads = *threadsGiven(*line.values[THREADS]);
  std::wstring pending;
  pending.reserve(256);  // longer than any line the run prints: nothing is allocated per line
  installLogSink(writeToStandardOutput, &pending);
  const bool succeeded = runConversion(paths, options);
  installLogSink(nullptr, nullptr);
  if (!pending.empty()) platform::writeText(platform::Stream::Output, pending);
  explainEnd(record, paths);
  // Every report is written, whatever became of the run and of the reports before it.
  bool good = succeeded && countRun(record).failed == 0;
  if (options.digests) good = digestsMade(record, paths) && good;
  good = writeReports(line, record, describeRun(paths, absolute, record, line.dryRun, succeeded)) && good;
  if (!platform::flushText(platform::Stream::Output)) {
    writeError(L"cannot write to standard output; what the run printed is incomplete");
    good = false;
  }
  if (!platform::flushText(platform::Stream::Error)) good = false;
  return good ? 0 : EXIT_RUN_FAILED;
}

}  // namespace

int runCommandLine(const std::vector<std::wstring>& arguments) {
  CommandLine line;
  if (const std::optional<int> ended = readArguments(arguments, line)) return *ended;
  if (line.values[UNDO]) return checkAndUndo(line);
  if (const std::optional<int> refused = refusalOfRun(line)) return *refused;
  return runAndReport(line);
}

int endForWantOfMemory() {
  installLogSink(nullptr, nullptr);
  try {
    // A literal: nothing more is asked of memory here than writing needs.
    platform::writeText(platform::Stream::Error, L"glyphwarden-cli: not enough memory\r\n");
  } catch (const std::bad_alloc&) {
    // Nothing more can be said; the status still says it.
  }
  return EXIT_RUN_FAILED;
}
