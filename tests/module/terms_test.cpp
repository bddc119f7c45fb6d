// Protocol, family and method: a spelling other than their own is read as nothing, and a
// protocol selector out of range asks for nothing. Each spelling itself is checked where
// it is written and read back: the record's bytes, and the commands ufw and its helper get.
// A gateway's codes in words, as the details and the headlines name them: miniupnpc names
// most, our own table the rest, and every name stays what it was before the library named any.
#include <gtest/gtest.h>

#include "gateway/upnp/upnp_errors.h"
#include "terms.h"

namespace {

TEST(Terms, NoOtherSpellingIsRead)
{
    for (const char* text : {"", "Tcp", "tcp", "TCP ", " UDP", "T", "SCTP"}) EXPECT_EQ(Parse<Protocol>(text), std::nullopt) << text;
    for (const char* text : {"", "ipv6", "IPV6", "IPv6\n"}) EXPECT_EQ(Parse<Family>(text), std::nullopt) << text;
    for (const char* text : {"", "upnp", "NAT_PMP", "NATPMP", "System"}) EXPECT_EQ(Parse<Method>(text), std::nullopt) << text;
    // Varneth::Forward's selector is 0, 1 or 2; any other asks for nothing.
    for (const std::int32_t selector : {-1, 3}) EXPECT_TRUE(ProtocolsOf(selector).empty()) << selector;
}

TEST(UpnpErrors, EveryCodeKeepsItsName)
{
    const std::pair<int, const char*> rows[] = {
        {gateway::kNoAnswerInTime, "-1000 no answer in time"}, {-5, "-5 out of memory"}, {-4, "-4 invalid response"},
        {-3, "-3 HTTP error"}, {-2, "-2 invalid arguments"}, {-1, "-1 unknown error"}, {401, "401 Invalid Action"},
        {402, "402 Invalid Args"}, {404, "404 Invalid Var"}, {501, "501 Action Failed"},
        {600, "600 Argument Value Invalid"}, {601, "601 Argument Value Out of Range"},
        {602, "602 Optional Action Not Implemented"}, {603, "603 Out of Memory"},
        {604, "604 Human Intervention Required"}, {605, "605 String Argument Too Long"},
        {606, "606 Action not authorized"}, {703, "703 InactiveConnectionStateRequired"},
        {704, "704 ConnectionSetupFailed"}, {713, "713 SpecifiedArrayIndexInvalid"}, {714, "714 NoSuchEntryInArray"},
        {715, "715 WildCardNotPermittedInSrcIP"}, {716, "716 WildCardNotPermittedInExtPort"},
        {718, "718 ConflictInMappingEntry"}, {724, "724 SamePortValuesRequired"},
        {725, "725 OnlyPermanentLeasesSupported"}, {726, "726 RemoteHostOnlySupportsWildcard"},
        {727, "727 ExternalPortOnlySupportsWildcard"}, {728, "728 NoPortMapsAvailable"},
        {729, "729 ConflictWithOtherMechanisms"}, {732, "732 WildCardNotPermittedInIntPort"},
        // Named by the library alone; no one's name for the last two.
        {702, "702 FirewallDisabled"}, {730, "730 (unknown code)"}, {-6, "-6 (unknown code)"},
    };
    for (const auto& [code, text] : rows)
        EXPECT_EQ(gateway::UpnpErrorText(code), text);
}

} // namespace
