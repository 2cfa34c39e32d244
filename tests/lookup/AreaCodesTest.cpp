#include "lookup/AreaCodes.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

namespace {

AreaCodeTable LoadedTable() {
  AreaCodeTable table;
  table.LoadAreaCodes();
  return table;
}

struct KeyCase {
  const char* name;
  const char* key;
  std::string expected;
};

class AreaCodeKeyTest : public testing::TestWithParam<KeyCase> {};

TEST_P(AreaCodeKeyTest, KeyGivesSlotTextByteForByte) {
  const AreaCodeTable table = LoadedTable();
  const KeyCase& c = GetParam();
  EXPECT_EQ(table.AreaCodeName(AreaCodeIndex(c.key)), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Keys, AreaCodeKeyTest,
    testing::Values(
        KeyCase{"NewYork212", "2125551234", "New York: New York City"},
        KeyCase{"NewYork917SameText", "9175551234", "New York: New York City"},
        KeyCase{"TollFree800", "8005551234", "US toll free"},
        KeyCase{"TollFree888", "8885551234", "US toll free"},
        KeyCase{"NoText220", "2205551234", ""},
        KeyCase{"Slot0Empty", "0005551234", ""},
        KeyCase{"Slot200Empty", "2005551234", ""},
        KeyCase{"StrayLeadingLetter201", "2015551234",
                "N New Jersey: Jersey City, Hackensack Bayone"},
        KeyCase{"TrailingSpace207", "2075551234", "Maine: Portland Augusta Auburn Bangor "},
        KeyCase{"NotUsedCapital211", "2115551234", "Not Used"},
        KeyCase{"NotUsed424", "4245551234", "Not used"},
        KeyCase{"NotUsedLower857", "8575551234", "not used"},
        KeyCase{"Toronto416", "4165551234", "Canada: Ontario, Toronto"},
        KeyCase{"Toronto647SameText", "6475551234", "Canada: Ontario, Toronto"},
        KeyCase{"HtmlEntity649", "6495551234", "Turks &amp; Caicos"},
        KeyCase{"NothingAfterColon680", "6805551234", "Palau: "},
        KeyCase{"MissingFirstLetter684", "6845551234", "merican Samoa: Pago Pago"},
        KeyCase{"MissingFirstLetter692", "6925551234", "arshal Islands: Ebeye"},
        KeyCase{"Caribbean809", "8095551234",
                "Bermuda, Puerto Rico, Virgin Islands, Caribbean"},
        KeyCase{"LastRow979", "9795551234", "Texas: College Station, Lake Jackson"}),
    [](const testing::TestParamInfo<KeyCase>& info) { return std::string(info.param.name); });

struct IndexCase {
  const char* name;
  const char* key;
  int expected;
};

class AreaCodeIndexTest : public testing::TestWithParam<IndexCase> {};

TEST_P(AreaCodeIndexTest, ReadsLeadingDigitsOfFirstThree) {
  EXPECT_EQ(AreaCodeIndex(GetParam().key), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Keys, AreaCodeIndexTest,
    testing::Values(IndexCase{"TenDigits", "2125551234", 212},
                    IndexCase{"LeadingZeros", "0005551234", 0},
                    IndexCase{"Highest", "9999999999", 999},
                    IndexCase{"DigitRunStopsAtLetter", "2a55551234", 2},
                    IndexCase{"DigitRunStopsAtThirdChar", "21-5551234", 21},
                    IndexCase{"StartsWithLetter", "N125551234", 0},
                    IndexCase{"StartsWithSign", "-125551234", 0},
                    IndexCase{"ShortKey", "7", 7},
                    IndexCase{"Empty", "", 0}),
    [](const testing::TestParamInfo<IndexCase>& info) { return std::string(info.param.name); });

// The complete set of area codes that carry a location text.
const std::vector<int> kIndexesWithText = {
    201, 202, 203, 204, 205, 206, 207, 208, 209, 210, 211, 212, 213, 214, 215, 216, 217, 218,
    219, 224, 225, 228, 229, 231, 236, 240, 242, 246, 248, 250, 252, 253, 254, 256, 262, 264,
    267, 268, 270, 281, 284, 297, 301, 302, 303, 304, 305, 306, 307, 308, 309, 310, 312, 313,
    314, 315, 316, 317, 318, 319, 320, 321, 323, 327, 330, 334, 336, 337, 340, 345, 347, 351,
    352, 360, 361, 386, 401, 402, 403, 404, 405, 406, 407, 408, 409, 410, 412, 413, 414, 415,
    416, 417, 418, 419, 423, 424, 425, 435, 440, 441, 443, 450, 469, 473, 478, 480, 484, 501,
    502, 503, 504, 505, 506, 507, 508, 509, 510, 512, 513, 514, 515, 516, 517, 518, 519, 520,
    525, 530, 540, 541, 559, 561, 562, 570, 571, 573, 580, 601, 602, 603, 604, 605, 606, 607,
    608, 609, 610, 612, 613, 614, 615, 616, 617, 618, 619, 620, 623, 626, 630, 631, 636, 646,
    647, 649, 650, 651, 660, 661, 662, 664, 670, 671, 678, 680, 682, 684, 691, 692, 701, 702,
    703, 704, 705, 706, 707, 708, 709, 710, 712, 713, 714, 715, 716, 717, 718, 719, 720, 724,
    727, 731, 732, 734, 740, 757, 758, 760, 763, 765, 767, 770, 773, 775, 780, 781, 784, 785,
    786, 787, 800, 801, 802, 803, 804, 805, 806, 807, 808, 809, 810, 812, 813, 814, 815, 816,
    817, 818, 819, 822, 828, 830, 831, 832, 833, 843, 844, 847, 850, 855, 856, 857, 858, 859,
    860, 864, 865, 866, 867, 868, 869, 870, 876, 877, 888, 901, 902, 903, 904, 905, 906, 907,
    908, 909, 910, 912, 913, 914, 915, 916, 917, 918, 919, 920, 925, 931, 935, 936, 937, 940,
    941, 949, 952, 954, 956, 969, 970, 971, 972, 973, 978, 979,
};

TEST(AreaCodeTableTest, ExactlyTheListedSlotsHoldText) {
  const AreaCodeTable table = LoadedTable();
  ASSERT_EQ(kIndexesWithText.size(), 300u);
  EXPECT_EQ(table.Count(), 300);
  std::set<int> filled;
  for (int i = 0; i < AreaCodeTable::kSlots; ++i) {
    if (!table.AreaCodeName(i).empty()) filled.insert(i);
  }
  EXPECT_EQ(filled, std::set<int>(kIndexesWithText.begin(), kIndexesWithText.end()));
  for (int i = 0; i < 201; ++i) EXPECT_EQ(table.AreaCodeName(i), "") << "slot " << i;
}

TEST(AreaCodeTableTest, UnloadedTableAndOutOfRangeIndexesAreEmpty) {
  const AreaCodeTable fresh;
  EXPECT_EQ(fresh.Count(), 0);
  EXPECT_EQ(fresh.AreaCodeName(212), "");
  const AreaCodeTable table = LoadedTable();
  EXPECT_EQ(table.AreaCodeName(-1), "");
  EXPECT_EQ(table.AreaCodeName(1000), "");
}

TEST(AreaCodeTableTest, ReloadGivesTheSameTable) {
  AreaCodeTable table = LoadedTable();
  table.LoadAreaCodes();
  EXPECT_EQ(table.Count(), 300);
  EXPECT_EQ(table.AreaCodeName(207), "Maine: Portland Augusta Auburn Bangor ");
}

}  // namespace
