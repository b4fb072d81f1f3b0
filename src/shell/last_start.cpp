#include "shell/last_start.h"

#include <shellapi.h>

#include <array>
#include <memory>
#include <new>
#include <string>

#include "console/append_log.h"
#include "engine/duplicates.h"
#include "engine/html_report.h"
#include "engine/json_record.h"
#include "engine/reported_run.h"
#include "engine/undo.h"
#include "glyphwarden_version.h"
#include "shell/start_records.h"
#include "shell/window_state.h"

namespace {

// The last Start of this process, as its record was made: its page is written from it.
struct LastStart {
  std::array<std::wstring, 4> texts;
  AbsolutePaths absolute;
  RunRecord run;
  bool succeeded = false;
  std::wstring record;  // where it is kept; empty when it could not be

  explicit LastStart(const RunPaths& given)
      : texts{std::wstring(given.originalFirmware), std::wstring(given.newFirmware), std::wstring(given.originalGfx),
              std::wstring(given.newGfx)},
        absolute(given) {}
  RunPaths paths() const { return {texts[0], texts[1], texts[2], texts[3]}; }
  ReportedRun described(const DuplicateVerdicts* duplicates) const {
    return {paths(), &run, false, succeeded, GLYPHWARDEN_VERSION, absolute.view(), duplicates, "Glyphwarden"};
  }
};

std::unique_ptr<LastStart> lastStart;

void appendLine(const std::wstring& line) {
  appendLog((line + L"\r\n").c_str());
}

// A Start's record costs the Start nothing: a record that cannot be made or kept says why.
bool keep(LastStart& start, std::wstring& why) {
  try {
    // The duplicates are not compared here, which would read every one of them on each Start:
    // the record says "identical": null, and the page compares them when it is asked for.
    return keepStartRecord(formatJsonRecord(start.described(nullptr)), start.record, why);
  } catch (const std::bad_alloc&) {
    why = platform::NOT_ENOUGH_MEMORY;
    return false;
  }
}

// The last Start kept, and whether this process holds it as it was made.
struct KeptStart {
  std::wstring record;
  const LastStart* held = nullptr;
};
std::optional<KeptStart> lastKeptStart() {
  // The latest Start of this process whose record could not be kept is the last Start all the
  // same: an older record is not offered in its place.
  if (lastStart && lastStart->record.empty()) return std::nullopt;
  const std::optional<std::wstring> record = lastStartRecord();
  if (!record) return std::nullopt;
  return KeptStart{*record, lastStart && lastStart->record == *record ? lastStart.get() : nullptr};
}

std::size_t copiesMade(const KeptStart& kept) {
  if (kept.held) return countRun(kept.held->run).copied;
  std::wstring refusal;
  const std::optional<RunToUndo> run = readRecordToUndo(kept.record, refusal);
  return run ? run->made.size() : 0;
}

}  // namespace

void runRecordedStart(const RunPaths& paths) {
  // The last Start from now on, with no record kept until it is: a Start that ends early (a want
  // of memory, say) never leaves an older record standing for it.
  lastStart = std::make_unique<LastStart>(paths);
  LastStart* const start = lastStart.get();
  ConversionOptions options;
  options.record = &start->run;
  // What undo tells a copy by; without it the record keeps every copy from being taken back.
  options.digests = platform::whyHashingIsUnavailable().empty();
  start->succeeded = runConversion(start->paths(), options);
  if (const std::wstring why = whyRunEnded(start->run, start->paths()); !why.empty()) appendLine(L"why: " + why);
  if (std::wstring why; !keep(*start, why)) appendLine(L"the record of this Start was not kept: " + why);
}

void addLastStartItems(HWND window) {
  HMENU menu = GetSystemMenu(window, FALSE);
  if (menu == nullptr) return;
  AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
  AppendMenuW(menu, MF_STRING, UNDO_LAST_START_COMMAND, L"Undo last Start...");
  AppendMenuW(menu, MF_STRING, SHOW_LAST_REPORT_COMMAND, L"Show last Start's report");
}

void updateLastStartItems(HMENU systemMenu) {
  const std::optional<KeptStart> kept = lastKeptStart();
  const bool undoable = kept && copiesMade(*kept) > 0;
  const bool reportable = kept && (kept->held || platform::statusOf(pageOfRecord(kept->record).c_str()).kind ==
                                                     platform::FileKind::Regular);
  EnableMenuItem(systemMenu, UNDO_LAST_START_COMMAND, MF_BYCOMMAND | (undoable ? MF_ENABLED : MF_GRAYED));
  EnableMenuItem(systemMenu, SHOW_LAST_REPORT_COMMAND, MF_BYCOMMAND | (reportable ? MF_ENABLED : MF_GRAYED));
}

void onUndoLastStart() {
  const std::optional<KeptStart> kept = lastKeptStart();
  if (!kept) return;
  std::wstring refusal;
  const std::optional<RunToUndo> run = readRecordToUndo(kept->record, refusal);
  if (!run) {
    appendLine(refusal + L"\r\n");
    return;
  }
  const std::size_t copies = run->made.size();
  const std::wstring question = L"Take back the last Start?\r\n\r\nThe " + std::to_wstring(copies) +
                                (copies == 1 ? L" copy it made in " : L" copies it made in ") + run->newGfx +
                                L" will be removed.\r\nFiles changed or replaced since the Start are kept.";
  if (MessageBoxW(mainWindow.window, question.c_str(), L"Undo last Start",
                  MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2) != IDYES)
    return;
  // The undo holds the message loop as a Start does, its lines shown as they come.
  mainWindow.console.beginRun();
  const UndoCounts counts = undoRun(*run, kept->record, false);
  if (!counts.refusal.empty()) appendLine(counts.refusal);
  appendLine(L"");
  mainWindow.console.endRun();
}

void onShowLastReport() {
  const std::optional<KeptStart> kept = lastKeptStart();
  if (!kept) return;
  const std::wstring page = pageOfRecord(kept->record);
  if (kept->held) {
    // Written anew each time: the page shows the pictures as they are now.
    const DuplicateVerdicts verdicts = compareDuplicates(kept->held->run);
    std::wstring why;
    if (!writeHtmlReport(page.c_str(), kept->held->described(&verdicts), why)) {
      appendLine(L"the report of the last Start was not written: " + why + L"\r\n");
      return;
    }
  } else if (platform::statusOf(page.c_str()).kind != platform::FileKind::Regular) {
    return;
  }
  const auto opened = reinterpret_cast<INT_PTR>(
      ShellExecuteW(mainWindow.window, L"open", page.c_str(), nullptr, nullptr, SW_SHOWNORMAL));
  if (opened <= 32) appendLine(L"the report " + page + L" could not be opened in the browser\r\n");
}
