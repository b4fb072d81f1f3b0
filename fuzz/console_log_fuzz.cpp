// The console buffer rule against its invariants, over arbitrary sequences of appends.
//
// The time goes to the rule itself: appended texts are views into prepared buffers, and what
// the console should hold is kept as a list of pieces (which append, how much of it is left),
// so that checking it costs a few lookups rather than a copy and a compare of 10,000
// characters after every append.
#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <memory>
#include <new>
#include <string>

#include "console/console_log.h"
#include "fuzz_input.h"

namespace {

void check(bool holds, const char* what) {
  if (holds) return;
  std::fprintf(stderr, "broken: %s\n", what);
  std::abort();
}

// Lengths near the edges of the rule are chosen more often than others.
std::size_t appendLength(FuzzInput& input) {
  static const std::size_t EDGES[] = {
      0, 1, 2, LOG_CAPACITY / 2, LOG_CAPACITY - 2, LOG_CAPACITY - 1, LOG_CAPACITY, LOG_CAPACITY + 1, 2 * LOG_CAPACITY};
  const std::uint8_t choice = input.byte();
  if (choice < 64) return EDGES[choice % (sizeof EDGES / sizeof EDGES[0])];
  if (choice < 128) return input.word16() % (2 * LOG_CAPACITY + 2);
  return input.byte() % 200;
}

// Every append is one letter repeated, so that each character tells which append it came from;
// its last character is the fuzzer's (never a terminator).
constexpr int LETTERS = 26;
constexpr std::size_t LONGEST = 2 * LOG_CAPACITY + 2;
using Letters = std::array<std::wstring, LETTERS>;
Letters& letterTexts() {
  static Letters texts = [] {
    Letters all;
    for (int i = 0; i < LETTERS; ++i) all[i].assign(LONGEST, static_cast<wchar_t>(L'A' + i));
    return all;
  }();
  return texts;
}

// What the console should hold: the pieces of the text, oldest first.
struct Piece {
  wchar_t letter, last;
  std::size_t length;  // of the whole append
  std::size_t left;    // characters of it still held: its last ones
};

wchar_t characterAt(const std::deque<Piece>& pieces, std::size_t at, std::wstring_view welcome) {
  for (const Piece& piece : pieces) {
    if (at < piece.left) {
      const std::size_t inAppend = piece.length - piece.left + at;
      if (piece.letter == 0) return welcome[inAppend];
      return inAppend + 1 == piece.length ? piece.last : piece.letter;
    }
    at -= piece.left;
  }
  return 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static Letters& letters = letterTexts();
  static const std::wstring_view welcome = WELCOME_TEXT;
  FuzzInput input(data, size);
  const auto console = std::make_unique<ConsoleLog>();
  std::deque<Piece> pieces;
  std::size_t held = 0;
  if (input.byte() & 1) {
    console->startWithWelcome();
    pieces.push_back({0, 0, welcome.size(), welcome.size()});
    held = welcome.size();
  }
  for (int appends = 0; !input.empty() && appends < 16; ++appends) {
    const std::size_t n = appendLength(input);
    const int letter = appends % LETTERS;
    std::wstring& buffer = letters[letter];
    const wchar_t last = static_cast<wchar_t>(input.word16() | 1);
    if (n > 0) buffer[n - 1] = last;
    const bool accepted = console->append(std::wstring_view(buffer.data(), n));
    if (n > 0) buffer[n - 1] = static_cast<wchar_t>(L'A' + letter);

    const std::wstring_view now = console->text();
    check(console->c_str()[now.size()] == L'\0', "terminated at its length");
    if (!accepted) {
      check(n >= LOG_CAPACITY, "only a text of the capacity or longer is refused");
      check(now.size() == held, "a refusal changes nothing");
    } else {
      check(n < LOG_CAPACITY, "a text of the capacity or longer is refused");
      // The expected text: drop the oldest characters until the new one fits.
      std::size_t drop = held + n > LOG_CAPACITY ? held + n - LOG_CAPACITY : 0;
      held -= drop;
      while (drop > 0) {
        const std::size_t fromFront = std::min(drop, pieces.front().left);
        pieces.front().left -= fromFront;
        drop -= fromFront;
        if (pieces.front().left == 0) pieces.pop_front();
      }
      if (n > 0) pieces.push_back({static_cast<wchar_t>(L'A' + letter), last, n, n});
      held += n;
      check(now.size() == held, "as much of the old text is kept as fits, and no more");
      check(now.size() <= LOG_CAPACITY, "at most the capacity is kept");
    }
    // Every boundary between pieces, both ends, and places the fuzzer picks.
    std::size_t boundary = 0;
    for (const Piece& piece : pieces) {
      for (const std::size_t at : {boundary, boundary + piece.left - 1})
        check(now[at] == characterAt(pieces, at, welcome), "each held character is where the rule puts it");
      boundary += piece.left;
    }
    for (int probe = 0; probe < 4 && held > 0; ++probe) {
      const std::size_t at = input.word16() % held;
      check(now[at] == characterAt(pieces, at, welcome), "each held character is where the rule puts it");
    }
  }
  return 0;
}
