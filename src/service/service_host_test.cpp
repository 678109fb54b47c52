#include "service/service_host.h"

#include <gtest/gtest.h>

#include "service/service_control.h"

using launcher::childCommandLine;
using launcher::quoteChildArgument;
using launcher::reportsStoppedAtEnd;
using launcher::serviceNameFromArguments;
using launcher::servicePriorityValue;

namespace {

TEST(QuoteChildArgument, OnlyASpaceCausesQuotes) {
    const struct {
        std::wstring_view piece, quoted;
    } cases[] = {
        {L"plain", L"plain"},
        {L"with space", L"\"with space\""},
        {L"tab\there", L"tab\there"},
        {L"say \"hi\"", L"\"say \"hi\"\""},
        {L"q\"uote", L"q\"uote"},
        {L"", L""},
        {L" ", L"\" \""},
    };
    for (const auto& c : cases) EXPECT_EQ(quoteChildArgument(c.piece), c.quoted);
}

TEST(ChildCommandLine, PathNameAndMarker) {
    EXPECT_EQ(childCommandLine({L"C:\\Program Files\\My App\\svc.exe"}, L"My Service", {}),
              L"\"C:\\Program Files\\My App\\svc.exe\" \"My Service\" __pkx_restart");
    EXPECT_EQ(childCommandLine({L"c:\\app\\svc.exe"}, L"Svc", {}),
              L"c:\\app\\svc.exe Svc __pkx_restart");
}

TEST(ChildCommandLine, OwnArgumentsThenStartParametersBeforeTheMarker) {
    EXPECT_EQ(
        childCommandLine({L"c:\\a\\svc.exe", L"own", L"own 2"}, L"Svc", {L"p1", L"p 2", L"p\t3"}),
        L"c:\\a\\svc.exe Svc own \"own 2\" p1 \"p 2\" p\t3 __pkx_restart");
}

TEST(ChildCommandLine, EmptyPiecesKeepTheirSeparators) {
    EXPECT_EQ(childCommandLine({L"svc.exe"}, L"Svc", {L"", L"b"}), L"svc.exe Svc  b __pkx_restart");
    EXPECT_EQ(childCommandLine({}, L"Svc", {}), L"Svc __pkx_restart");
}

TEST(ServiceNameFromArguments, FirstArgumentOfOneTo5999Characters) {
    EXPECT_EQ(serviceNameFromArguments({L"MySvc", L"a"}), L"MySvc");
    EXPECT_EQ(serviceNameFromArguments({}), L"unknown");
    EXPECT_EQ(serviceNameFromArguments({L""}), L"unknown");
    const std::wstring longest(5999, L'n');
    EXPECT_EQ(serviceNameFromArguments({longest}), longest);
    const std::wstring tooLong(6000, L'n');
    EXPECT_EQ(serviceNameFromArguments({tooLong}), L"unknown");
}

TEST(ServiceNameFromArguments, UnknownNameReachesTheChild) {
    EXPECT_EQ(childCommandLine({L"svc.exe"}, serviceNameFromArguments({L""}), {}),
              L"svc.exe unknown __pkx_restart");
}

TEST(ServicePriorityValue, OnlyAFourByteValueCounts) {
    EXPECT_EQ(servicePriorityValue(true, 4, 64), std::optional<uint32_t>(64));
    EXPECT_EQ(servicePriorityValue(true, 4, 0x8000), std::optional<uint32_t>(0x8000));
    EXPECT_EQ(servicePriorityValue(true, 2, 64), std::nullopt);
    EXPECT_EQ(servicePriorityValue(true, 8, 64), std::nullopt);
    EXPECT_EQ(servicePriorityValue(false, 4, 64), std::nullopt);
}

TEST(ReportsStoppedAtEnd, ExitCodeZeroOrAStopRequest) {
    const struct {
        uint32_t exitCode, state;
        bool stopped;
    } cases[] = {
        {0, launcher::kServiceRunning, true},
        {1, launcher::kServiceRunning, false},
        {1, launcher::kServiceStopPending, true},
        {0, launcher::kServiceStopPending, true},
        {0xC0000005u, launcher::kServiceRunning, false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(reportsStoppedAtEnd(c.exitCode, c.state), c.stopped)
            << c.exitCode << " in state " << c.state;
    }
}

}  // namespace
