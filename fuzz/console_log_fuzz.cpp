// The console buffer rule against its invariants, over arbitrary sequences of appends.
#include <cstdio>
#include <cstdlib>
#include <memory>
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
  static const std::size_t EDGES[] = {0, 1, 2, LOG_CAPACITY / 2, LOG_CAPACITY - 2, LOG_CAPACITY - 1,
                                      LOG_CAPACITY, LOG_CAPACITY + 1, 2 * LOG_CAPACITY};
  const std::uint8_t choice = input.byte();
  if (choice < 64) return EDGES[choice % (sizeof EDGES / sizeof EDGES[0])];
  if (choice < 128) return input.word16() % (2 * LOG_CAPACITY + 2);
  return input.byte() % 200;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzInput input(data, size);
  const auto console = std::make_unique<ConsoleLog>();
  if (input.byte() & 1) console->startWithWelcome();
  std::wstring previous(console->text());
  wchar_t serial = L'A';
  for (int appends = 0; !input.empty() && appends < 64; ++appends) {
    const std::size_t n = appendLength(input);
    // Each append is told apart from the ones before it.
    std::wstring text(n, serial);
    if (n > 0) text[n - 1] = static_cast<wchar_t>(input.word16() | 1);  // never a terminator
    serial = serial == L'Z' ? L'A' : static_cast<wchar_t>(serial + 1);

    const bool accepted = console->append(text);
    const std::wstring now(console->text());
    check(now.size() == std::char_traits<wchar_t>::length(console->c_str()), "terminated at its length");
    if (!accepted) {
      check(n >= LOG_CAPACITY, "only a text of the capacity or longer is refused");
      check(now == previous, "a refusal changes nothing");
      continue;
    }
    check(n < LOG_CAPACITY, "a text of the capacity or longer is refused");
    check(now.size() <= LOG_CAPACITY, "at most the capacity is kept");
    check(now.size() >= n && now.compare(now.size() - n, n, text) == 0, "the new text is the suffix");
    const std::size_t kept = now.size() - n;
    check(kept == std::min(previous.size(), LOG_CAPACITY - n), "as much of the old text is kept as fits");
    check(previous.compare(previous.size() - kept, kept, now, 0, kept) == 0, "the kept part ends the old text");
    previous = now;
  }
  return 0;
}
