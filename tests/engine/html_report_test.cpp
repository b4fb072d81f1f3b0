// The HTML report's page as text: escaping, embedded pictures, placeholders, tile order, and
// how an earlier report is told from other files.
#include "engine/html_report.h"

#include <gtest/gtest.h>

#include <map>

#include "support/test_files.h"
#include "support/tiny_png.h"

namespace {

const char TINY_PNG_BASE64[] =
    "iVBORw0KGgoAAAANSUhEUgAAAAIAAAABCAYAAAD0In+KAAAADklEQVR42mP4z8AAQv8BD/kD/Zh51wAAAAAASUVORK5CYII=";

std::string reportOf(const RunRecord& record, const std::map<std::wstring, std::string>& pictures,
                     std::wstring_view originalGfx = L"gfx") {
  HtmlReportRun run;
  run.record = &record;
  run.given.originalFirmware = L"W800.bin";
  run.given.newFirmware = L"W810.bin";
  run.given.originalGfx = originalGfx;
  run.given.newGfx = L"new";
  run.readPicture = [&](const GraphicRecord& graphic, std::string& bytes) {
    const auto found = pictures.find(graphic.fileName);
    if (found == pictures.end()) return false;
    bytes = found->second;
    return true;
  };
  return formatHtmlReport(run);
}

GraphicRecord carried(const wchar_t* name, std::uint32_t number, std::uint32_t newNumber) {
  return {name, number, {{newNumber, CopyResult::Copied}}, std::nullopt};
}

}  // namespace

TEST(HtmlReport, EscapesEveryNameAndPathAndRunsNoScript) {
  RunRecord record;
  record.outcome = RunOutcome::Walked;
  std::wstring lone = L"0003 ";
  lone += static_cast<wchar_t>(0xDC80);  // a name that was not valid text
  lone += L".png";
  record.graphics = {carried(L"<img src=x onerror=alert(1)>.png", 1, 0x11), carried(L"0002 \"'&.png", 2, 0x12),
                     carried(lone.c_str(), 3, 0x13)};
  const std::string page = reportOf(record, {}, L"</td><script>alert(2)</script>");
  EXPECT_EQ(page.find("<img src=x"), std::string::npos);
  EXPECT_NE(page.find("&lt;img src=x onerror=alert(1)&gt;.png"), std::string::npos);
  EXPECT_NE(page.find("0002 &quot;&#39;&amp;.png"), std::string::npos);
  EXPECT_NE(page.find("0003 \xEF\xBF\xBD.png"), std::string::npos) << "a lone surrogate shows as U+FFFD";
  EXPECT_EQ(page.find("<script"), std::string::npos);
  EXPECT_NE(page.find("&lt;/td&gt;&lt;script&gt;alert(2)&lt;/script&gt;"), std::string::npos);
  EXPECT_NE(page.find("Content-Security-Policy\" content=\"default-src 'none'; img-src data:"), std::string::npos);
}

TEST(HtmlReport, EmbedsValidPicturesAndShowsPlaceholdersForTheRest) {
  RunRecord record;
  record.outcome = RunOutcome::Walked;
  record.graphics = {carried(L"0001.png", 1, 0x11), carried(L"0002.png", 2, 0x12), carried(L"0003.png", 3, 0x13),
                     carried(L"0004.png", 4, 0x14)};
  std::string badCrc = TINY_PNG;
  badCrc[40] ^= 1;
  const std::string page =
      reportOf(record, {{L"0001.png", TINY_PNG}, {L"0002.png", "not a png"}, {L"0003.png", badCrc}});
  EXPECT_NE(page.find(std::string("src=\"data:image/png;base64,") + TINY_PNG_BASE64 + "\""), std::string::npos);
  EXPECT_NE(page.find("title=\"2 x 1\""), std::string::npos);
  std::size_t invalid = 0;
  for (std::size_t at = 0; (at = page.find(">not a valid PNG<", at)) != std::string::npos; ++at) ++invalid;
  EXPECT_EQ(invalid, 2u);
  EXPECT_NE(page.find(">cannot be read or too large<"), std::string::npos);
}

TEST(HtmlReport, TilesGoInAscendingOrderOfNumberWithNamelessOnesLast) {
  RunRecord record;
  record.outcome = RunOutcome::Walked;
  record.graphics = {carried(L"b.png", 0x20, 1),
                     {L"logo.png", std::nullopt, {}, NotCarried::NotAGraphicNumber},
                     carried(L"-1.png", 0xFFFFFFFF, 2),
                     carried(L"a.png", 0x3, 3),
                     {L"0000.png", 0u, {}, NotCarried::NotAGraphicNumber},
                     {L"0F00.png", 0xF00, {}, NotCarried::NumberNotInOriginal}};
  const std::string page = reportOf(record, {});
  std::vector<std::size_t> at;
  for (const char* name : {">a.png<", ">b.png<", ">0F00.png<", ">-1.png<", ">0000.png<", ">logo.png<"})
    at.push_back(page.find(name));
  for (std::size_t i = 0; i < at.size(); ++i) {
    ASSERT_NE(at[i], std::string::npos) << i;
    if (i > 0) {
      EXPECT_LT(at[i - 1], at[i]) << i;
    }
  }
  EXPECT_NE(page.find(">number not in original firmware<"), std::string::npos);
  EXPECT_NE(page.find(">FFFFFFFF<"), std::string::npos);
}

TEST(HtmlReport, TellsItsOwnReportsFromOtherFiles) {
  RunRecord record;
  record.outcome = RunOutcome::Walked;
  record.graphics.push_back(carried(L"0001.png", 1, 0x0A01));
  const std::string page = reportOf(record, {});
  EXPECT_TRUE(isHtmlReport(page));
  EXPECT_TRUE(isHtmlReport(page.substr(0, 1024))) << "the start is enough";
  for (const std::string& other :
       {std::string(""), std::string("<!DOCTYPE html>\n<html><title>Glyphwarden port report</title>"),
        std::string(HTML_REPORT_START) + "<title>My notes</title>", TINY_PNG})
    EXPECT_FALSE(isHtmlReport(other)) << other;
}

TEST(HtmlReport, ShowsEachCopysAnchorAndPairOffsets) {
  RunRecord record;
  record.outcome = RunOutcome::Walked;
  GraphicRecord graphic = carried(L"0001.png", 1, 0x11);
  graphic.copies[0].anchor = 0x89D35FEE;
  graphic.copies[0].originalPair = 9347;
  graphic.copies[0].newPair = 0x1FFFFFFF;  // the last pair a 4 GiB region can hold
  record.graphics = {graphic};
  EXPECT_NE(reportOf(record, {}).find("anchor 89D35FEE: original pair at 0x12418, new pair at 0xFFFFFFF8"),
            std::string::npos);
}
