#include "engine/html_report.h"

#include <algorithm>
#include <cstdio>
#include <cwctype>
#include <vector>

#include "engine/html_report_style.h"
#include "engine/png_check.h"
#include "engine/report_words.h"
#include "platform/utf8.h"

namespace {

// Text as UTF-8 with every character that means something to HTML escaped. A lone surrogate
// (a file name that was not valid text) shows as U+FFFD.
void appendText(std::string& out, std::wstring_view text) {
  for (std::size_t i = 0; i < text.size();) {
    const platform::CodePoint point = platform::codePointAt(text, i);
    i += point.length;
    char32_t c = platform::shownCodePoint(point.value);
    switch (c) {
      case U'&': out += "&amp;"; continue;
      case U'<': out += "&lt;"; continue;
      case U'>': out += "&gt;"; continue;
      case U'"': out += "&quot;"; continue;
      case U'\'': out += "&#39;"; continue;
      default: break;
    }
    if (c < 0x20 && c != U'\t') c = platform::REPLACEMENT_CHARACTER;  // control characters have no place in a name
    platform::appendUtf8(c, out);
  }
}

void appendBase64(std::string& out, std::string_view bytes) {
  static const char DIGITS[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::size_t i = 0;
  for (; i + 3 <= bytes.size(); i += 3) {
    const std::uint32_t v = static_cast<unsigned char>(bytes[i]) << 16 | static_cast<unsigned char>(bytes[i + 1]) << 8 |
                            static_cast<unsigned char>(bytes[i + 2]);
    out += DIGITS[v >> 18];
    out += DIGITS[(v >> 12) & 63];
    out += DIGITS[(v >> 6) & 63];
    out += DIGITS[v & 63];
  }
  if (const std::size_t rest = bytes.size() - i; rest > 0) {
    std::uint32_t v = static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[i])) << 16;
    if (rest == 2) v |= static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[i + 1])) << 8;
    out += DIGITS[v >> 18];
    out += DIGITS[(v >> 12) & 63];
    out += rest == 2 ? DIGITS[(v >> 6) & 63] : '=';
    out += '=';
  }
}

std::string hexNumber(std::uint32_t number) {
  return platform::toUtf8(graphicNumberText(number));
}

std::string decimal(std::size_t number) {
  return std::to_string(number);
}

bool isCarried(const GraphicRecord& graphic) {
  return std::any_of(graphic.copies.begin(), graphic.copies.end(), [](const CopyRecord& copy) {
    return copy.result == CopyResult::Copied || copy.result == CopyResult::WouldCopy;
  });
}

bool hasProblem(const GraphicRecord& graphic) {
  return std::any_of(graphic.copies.begin(), graphic.copies.end(), [](const CopyRecord& copy) {
    return copy.result == CopyResult::Duplicate || copy.result == CopyResult::Failed;
  });
}

// A picture as an embedded image, or a placeholder saying why it cannot be shown; either is
// named by what (a PNG's name) for a reader that does not see it.
void appendPicture(std::string& out, bool read, const std::string& bytes, std::wstring_view what) {
  PngSize size;
  const char* why = !read ? "cannot be read or too large" : !isWellFormedPng(bytes, size) ? "not a valid PNG" : nullptr;
  if (why != nullptr) {
    out += "<div class=\"placeholder\" role=\"img\" aria-label=\"";
    appendText(out, what);
    out += std::string(": ") + why + "\">" + why + "</div>";
    return;
  }
  out += "<img decoding=\"async\" alt=\"";
  appendText(out, what);
  out += "\" title=\"" + decimal(size.width) + " x " + decimal(size.height) + "\" src=\"data:image/png;base64,";
  appendBase64(out, bytes);
  out += "\">";
}

// A duplicate: the picture already at the destination, and whether it is the same file.
void appendExisting(std::string& out, const CopyRecord& copy, const HtmlReportRun& run) {
  if (const std::optional<bool> identical = run.identicalToExisting(copy)) {
    out += *identical ? " <span class=\"same\">identical</span>"
                      : " <span class=\"differs\">differs from the file there</span>";
  }
  std::string bytes;
  if (!run.readExisting || !run.readExisting(copy, bytes)) return;
  const std::string there = "already at " + hexNumber(copy.newNumber) + ".png";
  out += "<div class=\"existing\" title=\"" + there + "\">";
  appendPicture(out, true, bytes, platform::fromUtf8(there));
  out += "</div>";
}

// Why the copy went where it went: the shared anchor and where each pair lies in its image (a
// pair index is below 2^29, so its offset fits 32 bits).
void appendEvidence(std::string& out, const CopyRecord& copy) {
  char text[128];
  std::snprintf(text, sizeof text,
                "<span class=\"evidence\">anchor %08X: original pair at 0x%X, new pair at 0x%X</span>",
                static_cast<unsigned>(copy.anchor), 8u * copy.originalPair, 8u * copy.newPair);
  out += text;
}

void appendTile(std::string& out, const GraphicRecord& graphic, const HtmlReportRun& run) {
  const bool carried = isCarried(graphic), problem = hasProblem(graphic);
  out += "<figure class=\"tile";
  if (carried) out += " carried";
  if (graphic.notCarried) out += " not-carried";
  if (problem) out += " problem";
  out += "\"><div class=\"thumb\">";
  std::string bytes;
  appendPicture(out, run.readPicture && run.readPicture(graphic, bytes), bytes, graphic.fileName);
  out += "</div><figcaption><span class=\"name\">";
  appendText(out, graphic.fileName);
  out += "</span>";
  if (carriesGraphicNumber(graphic.number)) out += "<span class=\"number\">" + hexNumber(*graphic.number) + "</span>";
  if (graphic.notCarried) {
    out += "<p class=\"reason\">";
    appendText(out, notCarriedText(*graphic.notCarried));
    out += "</p>";
  } else {
    out += "<ul class=\"copies\">";
    for (const CopyRecord& copy : graphic.copies) {
      out += "<li class=\"";
      out += resultClass(copy.result);
      out += "\"><span class=\"result\">&rarr; " + hexNumber(copy.newNumber) + " ";
      appendText(out, resultLabel(copy.result));
      out += "</span>";
      if (const std::wstring& why = copy.result == CopyResult::Failed ? copy.failure : copy.retried; !why.empty()) {
        out += "<span class=\"why\">";
        appendText(out, why);
        out += "</span>";
      }
      appendEvidence(out, copy);
      if (copy.result == CopyResult::Duplicate) appendExisting(out, copy, run);
      out += "</li>";
    }
    out += "</ul>";
  }
  out += "</figcaption></figure>\n";
}

void appendRow(std::string& out, const char* label, std::wstring_view value, const std::string& extra = {}) {
  out += "<tr><th scope=\"row\">";
  out += label;
  out += "</th><td>";
  appendText(out, value);
  out += "</td><td>" + extra + "</td></tr>\n";
}

std::string regionText(std::uint32_t regionSize) {
  char text[64];
  std::snprintf(text, sizeof text, "region %08X (%u bytes)", static_cast<unsigned>(regionSize),
                static_cast<unsigned>(regionSize));
  return text;
}

void appendCount(std::string& out, const CountLine& line) {
  static const char* const TONE_CLASS[] = {"", "good", "warn", "bad"};  // in CountTone's order
  out += "<div class=\"count ";
  out += TONE_CLASS[static_cast<int>(line.tone)];
  out += "\"><b>" + decimal(line.count) + "</b>";
  appendText(out, line.label);
  out += "<span class=\"unit\">";
  out += line.unit == Counted::Pngs ? "PNGs" : "copies";
  out += "</span></div>";
}

// The tiles in ascending order of number; names without a number last, by name.
std::vector<const GraphicRecord*> tilesInOrder(const RunRecord& record) {
  std::vector<const GraphicRecord*> tiles;
  for (const GraphicRecord& graphic : record.graphics) tiles.push_back(&graphic);
  std::stable_sort(tiles.begin(), tiles.end(), [](const GraphicRecord* a, const GraphicRecord* b) {
    const bool aNumbered = carriesGraphicNumber(a->number), bNumbered = carriesGraphicNumber(b->number);
    if (aNumbered != bNumbered) return aNumbered;
    if (aNumbered && *a->number != *b->number) return *a->number < *b->number;
    return a->fileName < b->fileName;
  });
  return tiles;
}

// The page's head, and what its body says before the tiles: the run, its images and folders.
void appendHeading(std::string& out, const HtmlReportRun& run, const RunRecord& record) {
  out += HTML_REPORT_START;
  out +=
      "<meta http-equiv=\"Content-Security-Policy\" content=\"default-src 'none'; img-src data:; style-src "
      "'unsafe-inline'\">\n"
      "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n<title>Glyphwarden port "
      "report</title>\n<style>";
  out += HTML_REPORT_STYLE;
  out += "</style></head>\n<body>\n<header>\n<h1>Glyphwarden port report</h1>\n";
  out += "<p class=\"note\">Written by ";
  out += run.programName;  // a name of this program's own, nothing to escape
  out += ' ';
  appendText(out, std::wstring(run.programVersion.begin(), run.programVersion.end()));
  out += ".</p>\n";
  if (run.dryRun) out += "<p class=\"note\">Dry run: nothing was copied; the results say what a run would do.</p>\n";
  if (const RunOutcome outcome = record.outcome; outcome != RunOutcome::Walked) {
    // The sentence as it starts a paragraph.
    std::wstring sentence = outcomeSentence(outcome);
    sentence[0] = static_cast<wchar_t>(std::towupper(sentence[0]));
    out += "<p class=\"note\">";
    appendText(out, sentence);
    out += ".</p>\n";
  }
  out += "<table class=\"run\"><tbody>\n";
  appendRow(out, "Original firmware", run.given.originalFirmware,
            record.imagesOpened() ? regionText(record.originalRegionSize) : "");
  appendRow(out, "New firmware", run.given.newFirmware, record.imagesOpened() ? regionText(record.newRegionSize) : "");
  appendRow(out, "Original graphics", run.given.originalGfx);
  appendRow(out, "New graphics", run.given.newGfx);
  out += "</tbody></table>\n";
}

}  // namespace

bool isHtmlReport(std::string_view fileStart) {
  // Reports of every version begin so, and name themselves in their title soon after.
  return fileStart.starts_with(HTML_REPORT_START) &&
         fileStart.substr(0, 1024).find("<title>Glyphwarden port report</title>") != std::string_view::npos;
}

std::string formatHtmlReport(const HtmlReportRun& run) {
  // Every run reported has its record; no empty one stands in (a guarded local static, whose
  // guard can fail under a want of memory where nothing catches it).
  const RunRecord& record = *run.record;
  const RunCounts counts = countRun(record);
  const std::vector<const GraphicRecord*> tiles = tilesInOrder(record);
  std::size_t carried = 0, problems = 0;
  for (const GraphicRecord* graphic : tiles) {
    carried += isCarried(*graphic);
    problems += hasProblem(*graphic);
  }

  std::string out;
  out.reserve(4096 + record.graphics.size() * 600);
  appendHeading(out, run, record);
  // The counts are of PNGs (walked, not carried) and of copies (the rest): a PNG may have several.
  out += "<div class=\"counts\">";
  for (const CountLine& line : countLines(counts, run.dryRun)) appendCount(out, line);
  out += "</div>\n</header>\n";
  // Each choice of the filter is a radio button before its label, which shows it checked and
  // focused; the tiles follow the checked one.
  out += "<nav aria-label=\"which PNGs to show\">";
  const struct {
    const char* id;
    std::string text;
  } choices[] = {{"show-all", "all PNGs (" + decimal(tiles.size()) + ")"},
                 {"show-carried", "PNGs carried (" + decimal(carried) + ")"},
                 {"show-not-carried", "PNGs not carried (" + decimal(counts.notCarried) + ")"},
                 {"show-problems", "PNGs with a duplicate or failed copy (" + decimal(problems) + ")"}};
  for (const auto& choice : choices) {
    out += std::string("<input class=\"filter\" type=\"radio\" name=\"show\" id=\"") + choice.id + "\"" +
           (choice.id == choices[0].id ? " checked" : "") + "><label for=\"" + choice.id + "\">" + choice.text +
           "</label>";
  }
  out += "</nav>\n<main>\n";
  for (const GraphicRecord* graphic : tiles) appendTile(out, *graphic, run);
  out += "</main>\n</body></html>\n";
  return out;
}

bool writeHtmlReport(const wchar_t* file, const ReportedRun& described, std::wstring& why) {
  HtmlReportRun run;
  static_cast<ReportedRun&>(run) = described;
  run.readPicture = [](const GraphicRecord& graphic, std::string& bytes) {
    return platform::readWholeFile(graphic.path.c_str(), bytes, HTML_REPORT_PICTURE_LIMIT);
  };
  run.readExisting = [](const CopyRecord& copy, std::string& bytes) {
    return platform::readWholeFile(copy.destination.c_str(), bytes, HTML_REPORT_PICTURE_LIMIT);
  };
  return platform::replaceFileAtomically(file, formatHtmlReport(run), why);
}
