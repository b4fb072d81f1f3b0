#include "shell/console_view.h"

#include <algorithm>

#include "shell/controls.h"

namespace {

// During a run the control is refreshed at most this often: each refresh repaints it, and at a
// 50 ms pace the paints alone cost a fifth of a long run under Wine.
constexpr ULONGLONG REFRESH_MS = 200;
// A refresh can cost tens of ms under some systems; the run is given at least this many times
// that cost between two refreshes, so the display never takes most of the time.
constexpr ULONGLONG REFRESH_COST_FACTOR = 3;

}  // namespace

void ConsoleView::start(HWND edit) {
  edit_ = edit;
  log_.startWithWelcome();
  setText(edit_, log_.c_str());
  shown_ = log_.text().size();
  appendedSinceShown_ = 0;
}

bool ConsoleView::append(std::wstring_view text) {
  if (!log_.append(text)) return false;
  appendedSinceShown_ += text.size();
  const ULONGLONG pause = std::max(REFRESH_MS, REFRESH_COST_FACTOR * lastRefreshCost_);
  if (!running_ || GetTickCount64() - lastRefresh_ >= pause) refresh();
  return true;
}

void ConsoleView::endRun() {
  running_ = false;
  refresh();
}

// The buffer only ever loses characters at its front and gains them at its end, so the control
// is told just that: the characters appended are added, and the ones dropped removed, which
// costs far less than laying out the whole text again. During a run the dropped characters are
// removed only now and then, in one piece: the control is scrolled to its end, so its visible
// lines are the same, and removing text at the front makes it lay out every line again. When
// the run ends the control holds the buffer exactly. Only when everything shown is gone is the
// whole text put in.
void ConsoleView::refresh() {
  const ULONGLONG started = GetTickCount64();
  const std::wstring_view text = log_.text();
  if (appendedSinceShown_ >= text.size() || text.size() - appendedSinceShown_ > shown_) {
    setText(edit_, log_.c_str());
    dropped_ = 0;
  } else {
    const std::size_t kept = text.size() - appendedSinceShown_;
    dropped_ += shown_ - kept;
    if (dropped_ > 0 && (!running_ || dropped_ + text.size() > 2 * LOG_CAPACITY)) {
      replaceRange(edit_, 0, dropped_, L"");
      dropped_ = 0;
    }
    // The buffer's tail from kept on is a terminated text of its own.
    if (appendedSinceShown_ > 0) replaceRange(edit_, dropped_ + kept, dropped_ + kept, log_.c_str() + kept);
  }
  shown_ = text.size();
  appendedSinceShown_ = 0;
  scrollToEnd(edit_);
  // The run holds the message loop: paint now so progress stays visible.
  if (running_) UpdateWindow(edit_);
  lastRefresh_ = GetTickCount64();
  lastRefreshCost_ = lastRefresh_ - started;
}
