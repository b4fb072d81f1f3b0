// appendLog: the one report channel. The host (the window, the command line, a test) installs
// the sink that receives every text.
#pragma once

// Returns false when the sink refused the text (the console refuses texts that are too long).
using LogSink = bool (*)(void* context, const wchar_t* text);

void installLogSink(LogSink sink, void* context);

bool appendLog(const wchar_t* text);
