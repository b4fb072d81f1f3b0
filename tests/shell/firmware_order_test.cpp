#include "shell/firmware_order.h"

#include <gtest/gtest.h>

using Names = std::vector<std::wstring>;

TEST(FirmwareCatalogue, MarkedNamesGoToTheTopInReverseWalkOrder) {
  const Names walk = {L".", L"..", L"a.bin", L"W800_x.bin", L"b.bin", L"W800_y.bin", L"W810_z.bin"};
  EXPECT_EQ(orderFirmwareList(walk, ORIGINAL_FIRMWARE_MARKER),
            (Names{L"W800_y.bin", L"W800_x.bin", L"a.bin", L"b.bin", L"W810_z.bin"}));
  EXPECT_EQ(orderFirmwareList(walk, NEW_FIRMWARE_MARKER),
            (Names{L"W810_z.bin", L"a.bin", L"W800_x.bin", L"b.bin", L"W800_y.bin"}));
}

TEST(FirmwareCatalogue, MarkersAreCaseSensitiveAndMayBothMatch) {
  const Names walk = {L"w800.bin", L"W800-W810.bin", L"other"};
  EXPECT_EQ(orderFirmwareList(walk, ORIGINAL_FIRMWARE_MARKER), (Names{L"W800-W810.bin", L"w800.bin", L"other"}));
  EXPECT_EQ(orderFirmwareList(walk, NEW_FIRMWARE_MARKER), (Names{L"W800-W810.bin", L"w800.bin", L"other"}));
}

TEST(FirmwareCatalogue, WithoutMarkersTheWalkOrderStays) {
  EXPECT_EQ(orderFirmwareList({L"b", L"a"}, ORIGINAL_FIRMWARE_MARKER), (Names{L"b", L"a"}));
  EXPECT_EQ(orderFirmwareList({L".", L".."}, NEW_FIRMWARE_MARKER), Names{});
}
