#include <gtest/gtest.h>

#include "address_report.h"
#include "text_lines.h"

namespace {

struct ReportCase {
    const char* name;
    std::vector<std::wstring> lines;
    std::vector<std::wstring> expected;
};

class AddressReport : public ::testing::TestWithParam<ReportCase> {};

TEST_P(AddressReport, TakesTheTextAfterTheFirstSeparatorOfMarkedLines)
{
    EXPECT_EQ(ParseAddressReport(GetParam().lines), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Lines, AddressReport,
    ::testing::Values(
        ReportCase{"ipconfig_line", {L"   IPv4 Address. . . . . . . . . . . : 192.168.1.20"}, {L"192.168.1.20"}},
        ReportCase{"two_in_order_and_duplicates_kept",
                   {L"IPv4 Address: 10.0.0.2", L"Subnet Mask : 255.0.0.0", L"IPv4 Address: 10.0.0.1",
                    L"IPv4 Address: 10.0.0.2"},
                   {L"10.0.0.2", L"10.0.0.1", L"10.0.0.2"}},
        ReportCase{"marker_is_case_sensitive", {L"ipv4 address: 10.0.0.1", L"IPV4: 10.0.0.2"}, {}},
        ReportCase{"marker_inside_longer_label", {L"AutoconfigurationIPv4Address: 169.254.1.1"}, {L"169.254.1.1"}},
        ReportCase{"trailing_text_kept", {L"IPv4 Address: 10.0.0.1(Preferred)  "}, {L"10.0.0.1(Preferred)  "}},
        ReportCase{"separator_at_end_gives_empty_entry", {L"IPv4 Address: "}, {L""}},
        ReportCase{"separator_before_marker", {L"Note: IPv4 10.0.0.1"}, {L"IPv4 10.0.0.1"}},
        ReportCase{"marked_line_without_separator_gives_nothing", {L"IPv4 Address 10.0.0.1", L"IPv4:10.0.0.2"}, {}},
        ReportCase{"empty_report", {L""}, {}}),
    [](const ::testing::TestParamInfo<ReportCase>& info) { return info.param.name; });

TEST(AddressReportText, CrLfReportGivesEntriesWithoutCarriageReturn)
{
    EXPECT_EQ(ParseAddressReport(SplitLines("IPv4 Address: 10.0.0.1\r\nIPv4 Address: 10.0.0.2\r\n")),
              (std::vector<std::wstring>{L"10.0.0.1", L"10.0.0.2"}));
}

TEST(SplitLinesTest, KeepsTheEmptyLineAfterAFinalLineEndAndOnlyDropsCrBeforeLf)
{
    EXPECT_EQ(SplitLines(""), (std::vector<std::wstring>{L""}));
    EXPECT_EQ(SplitLines("getips\r\n"), (std::vector<std::wstring>{L"getips", L""}));
    EXPECT_EQ(SplitLines("a\rb\nc"), (std::vector<std::wstring>{L"a\rb", L"c"}));
    EXPECT_EQ(SplitLines(std::string("a\0b\n", 4)), (std::vector<std::wstring>{std::wstring(L"a\0b", 3), L""}));
}

TEST(ByteText, RoundTripsEveryByteAndReplacesWhatNoByteCarries)
{
    std::string all;
    for (int b = 0; b < 256; ++b) all.push_back(static_cast<char>(b));
    EXPECT_EQ(NarrowToBytes(WidenBytes(all)), all);
    EXPECT_EQ(NarrowToBytes(L"a\x20AC" L"b"), "a?b");
}

} // namespace
