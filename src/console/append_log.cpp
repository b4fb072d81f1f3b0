#include "console/append_log.h"

namespace {

// Before a host installs its sink, texts go nowhere.
bool discardText(void*, const wchar_t*) {
  return true;
}

LogSink currentSink = discardText;
void* currentContext = nullptr;

}  // namespace

void installLogSink(LogSink sink, void* context) {
  currentSink = sink ? sink : discardText;
  currentContext = sink ? context : nullptr;
}

bool appendLog(const wchar_t* text) {
  return currentSink(currentContext, text);
}
