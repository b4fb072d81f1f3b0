// A record handed to --undo may be anything: the reader and the reading of a run from it must
// refuse or accept every input without a fault, and what they accept must say exactly what the
// record holds.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "engine/json_reader.h"
#include "engine/json_record.h"
#include "engine/undo.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  parseJson(text);
  // Most inputs past the record's opening, so that the fields are reached.
  std::string record = "{\n  \"format\": \"glyphwarden-run\",\n" + text;
  std::wstring refusal;
  const auto run = readRunToUndo(record, refusal);
  // One answer or the other, never both or neither.
  if (run.has_value() == !refusal.empty()) std::abort();
  if (run && run->newGfx.empty()) std::abort();
  return 0;
}
