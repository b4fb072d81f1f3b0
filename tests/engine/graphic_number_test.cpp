#include "engine/graphic_number.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cwchar>

namespace {

struct ScanCase {
  const wchar_t* name;
  std::optional<std::uint32_t> number;
};

const ScanCase SCAN_CASES[] = {
    {L"1a2b.png", 0x1A2B},      {L"1A2B.png", 0x1A2B},      {L"ABCDE.png", 0xABCD},
    {L"12.png", 0x12},          {L"0000.png", 0},           {L"logo.png", std::nullopt},
    {L"+12.png", 0x12},         {L"-1.png", 0xFFFFFFFFu},   {L"-0.png", 0},
    {L"0x1F.png", 0x1F},        {L"0X1f.png", 0x1F},        {L"0x1FFF.png", 0x1F},
    {L"+0x1.png", 0x1},         {L"-0x2.png", 0xFFFFFFFEu}, {L"0x.png", 0},
    {L"  7.png", 0x7},          {L"\t1234.png", 0x1234},    {L"+.png", std::nullopt},
    {L"-x1.png", std::nullopt}, {L".png", std::nullopt},    {L"", std::nullopt},
    {L"12 4.png", 0x12},        {L"fffff", 0xFFFF},         {L"1A2B", 0x1A2B},
    {L"1A2B copy.png", 0x1A2B}, {L"g12.png", std::nullopt},
};

}  // namespace

TEST(GraphicNumber, ReadsTheHexadecimalFieldOfAtMostFourCharacters) {
  for (const auto& c : SCAN_CASES)
    EXPECT_EQ(scanGraphicNumber(c.name), c.number) << "name: " << testing::PrintToString(std::wstring(c.name));
}

// The C library's own scan is the definition; agree with it on every case above.
TEST(GraphicNumber, AgreesWithTheCLibraryScan) {
  for (const auto& c : SCAN_CASES) {
    unsigned value = 0;
    const int converted = std::swscanf(c.name, L"%4x", &value);
    const std::optional<std::uint32_t> expected = converted == 1 ? std::optional<std::uint32_t>(value) : std::nullopt;
    const auto actual = scanGraphicNumber(c.name);
    // Where a prefix without digits is read, C libraries differ on success, but both mean 0.
    if (expected.value_or(0) == 0 && actual.value_or(0) == 0) continue;
    EXPECT_EQ(actual, expected) << "name: " << testing::PrintToString(std::wstring(c.name));
  }
}
