#include "shell/console_view.h"

#include <algorithm>

#include "shell/console_tail.h"
#include "shell/controls.h"

namespace {

// During a run the control is refreshed at most this often: each refresh draws it.
constexpr ULONGLONG REFRESH_MS = 250;
// A refresh can cost tens of ms under some systems; the run is given at least this many times
// that cost between two refreshes, so the display never takes most of the time.
constexpr ULONGLONG REFRESH_COST_FACTOR = 3;
// Lines shown during a run beyond those the control has room for: the last line is the empty
// one after the last line break, and the top one may be cut.
constexpr std::size_t TAIL_SPARE_LINES = 2;

// Looks at the message queue without taking anything from it. The system holds a window "not
// responding" (on Windows, a frozen ghost with an offer to end the program) once its thread
// has retrieved no message for 5 s; a look is enough to count, and it also delivers the
// messages other threads and programs send meanwhile. Input stays queued until the run ends.
void keepResponding() {
  MSG message;
  PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE);
}

}  // namespace

void ConsoleView::start(HWND edit) {
  edit_ = edit;
  log_.startWithWelcome();
  holdsBuffer_ = false;
  showBuffer();
}

bool ConsoleView::append(std::wstring_view text) {
  if (!log_.append(text)) return false;
  appendedSinceShown_ += text.size();
  const ULONGLONG pause = std::max(REFRESH_MS, REFRESH_COST_FACTOR * lastRefreshCost_);
  if (!running_ || GetTickCount64() - lastRefresh_ >= pause) refresh();
  return true;
}

void ConsoleView::beginRun() {
  running_ = true;
  tailLines_ = visibleLines(edit_) + TAIL_SPARE_LINES;
}

void ConsoleView::appendOnItsOwnLine(std::wstring_view line) {
  if (!log_.text().empty() && log_.text().back() != L'\n') append(L"\r\n");
  append(line);
}

void ConsoleView::endRun() {
  running_ = false;
  refresh();
}

// The control is drawn once, when it is up to date: drawn at each step, its scroll bar alone
// costs more than the change. Drawn now, so progress shows while a run holds the message loop.
void ConsoleView::refresh() {
  const ULONGLONG started = GetTickCount64();
  {
    // The run's scroll bar mostly stands still once the buffer is full.
    const DrawingPaused paused(
        edit_, running_ ? DrawingPaused::Frame::KeepIfScrollBarUnchanged : DrawingPaused::Frame::Redraw);
    if (running_) {
      showTail();
    } else {
      showBuffer();
      scrollToEnd(edit_);
    }
  }
  lastRefresh_ = GetTickCount64();
  lastRefreshCost_ = lastRefresh_ - started;
  if (running_) keepResponding();
}

// An EDIT control lays out every line it is given, so during a run it holds only the lines it
// has room for: scrolled to its end it shows what it would show with the whole buffer, and the
// lines that scrolled past unseen are never laid out.
void ConsoleView::showTail() {
  const std::wstring_view text = log_.text();
  const std::size_t start = tailStart(text, tailLines_);
  setText(edit_, log_.c_str() + start);
  scrollToEnd(edit_);
  // The scroll box stands where these lines stand in the whole buffer.
  addLinesAboveToScrollBar(edit_, std::count(text.begin(), text.begin() + start, L'\n'));
  holdsBuffer_ = false;
}

// The buffer only ever loses characters at its front and gains them at its end, so a control
// that holds it is told just that; otherwise it is given the whole text.
void ConsoleView::showBuffer() {
  const std::wstring_view text = log_.text();
  if (!holdsBuffer_ || appendedSinceShown_ >= text.size() || text.size() - appendedSinceShown_ > shown_) {
    setText(edit_, log_.c_str());
  } else {
    const std::size_t kept = text.size() - appendedSinceShown_;
    if (shown_ > kept) replaceRange(edit_, 0, shown_ - kept, L"");
    // The buffer's tail from kept on is a terminated text of its own.
    if (appendedSinceShown_ > 0) replaceRange(edit_, kept, kept, log_.c_str() + kept);
  }
  holdsBuffer_ = true;
  shown_ = text.size();
  appendedSinceShown_ = 0;
}
