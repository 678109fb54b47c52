#include "service/status_report.h"

#include <gtest/gtest.h>

#include "service/watchdog_rules.h"

using launcher::ServiceStatusReport;
using launcher::StatusKey;
using launcher::StatusRecordValues;

namespace {

// A record as the host writes it.
std::string hostRecord(uint32_t hostPid, launcher::HostState state, uint32_t appPid) {
    launcher::StatusRecord record;
    record.service = "Svc";
    record.hostPid = hostPid;
    record.state = state;
    record.appPid = appPid;
    record.appStarted = 1796705533;
    record.restarts = 2;
    record.lastExitCode = 3;
    record.lastExitAt = 1796705523;
    record.lastReason = launcher::RestartReason::Exit;
    record.watchdog = launcher::WatchdogState::Answering;
    record.javaHome = "C:\\Program Files\\J\xC3\xA4va";
    record.javaVersion = "17.0.2";
    return launcher::statusRecordText(record);
}

TEST(ParseStatusRecord, KnownKeysBoundedLinesAndValues) {
    const std::string full = hostRecord(1234, launcher::HostState::Running, 5678);
    const std::string longValue = std::string(1023, 'a') + "\xC3\xA4" + "tail";
    std::string manyLines;
    for (int i = 0; i < 63; ++i) manyLines += "noise\n";
    const struct {
        std::string text;
        StatusKey key;
        std::string value;
    } cases[] = {
        {full, StatusKey::Service, "Svc"},
        {full, StatusKey::HostPid, "1234"},
        {full, StatusKey::AppStarted, "2026-12-08T04:52:13Z"},
        {full, StatusKey::JavaHome, "C:\\Program Files\\J\xC3\xA4va"},
        {full, StatusKey::QuickFailures, "0"},
        // Line ends of either kind, unknown keys and lines without "=" ignored.
        {"x=1\r\nhost_pid=77\r\njunk\nwatchdog=late", StatusKey::HostPid, "77"},
        {"x=1\r\nhost_pid=77\r\njunk\nwatchdog=late", StatusKey::Watchdog, "late"},
        {"java_home=a=b\n", StatusKey::JavaHome, "a=b"},
        {"host_pid=\n", StatusKey::HostPid, ""},
        {"", StatusKey::State, ""},
        // The 64th line is read, the 65th is not.
        {manyLines + "state=running\n", StatusKey::State, "running"},
        {manyLines + "noise\nstate=running\n", StatusKey::State, ""},
        // A value is cut at 1024 bytes, never inside a character.
        {"java_home=" + longValue + "\n", StatusKey::JavaHome, std::string(1023, 'a')},
        {"java_home=" + std::string(1030, 'b'), StatusKey::JavaHome, std::string(1024, 'b')},
        // Nothing past the first 16 KiB of a file is read.
        {std::string(16380, '#') + "\nstate=running\n", StatusKey::State, ""},
        {std::string("state=run\0ning\n", 15), StatusKey::State, std::string("run\0ning", 8)},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(launcher::parseStatusRecord(c.text)[c.key], c.value)
            << c.text.substr(0, 80) << " / key " << static_cast<int>(c.key);
    }
}

TEST(RecordBelongsToHost, OnlyTheCurrentHostsOrTheStoppedServicesRecord) {
    using launcher::HostState;
    const struct {
        std::string record;
        uint32_t serviceState;
        uint32_t hostPid;
        bool belongs;
    } cases[] = {
        {hostRecord(1234, HostState::Running, 5678), 4, 1234, true},
        {hostRecord(1234, HostState::Restarting, 0), 4, 1234, true},
        {hostRecord(1234, HostState::Stopping, 5678), 3, 1234, true},
        // A stale record of an earlier host.
        {hostRecord(999, HostState::Running, 5678), 4, 1234, false},
        {hostRecord(1234, HostState::Running, 5678), 1, 0, false},
        {hostRecord(1234, HostState::Stopped, 0), 1, 0, true},
        // The new host starts; the record is still the last run's.
        {hostRecord(999, HostState::Stopped, 0), 2, 1234, false},
        {hostRecord(1234, HostState::Stopped, 0), 4, 1234, false},
        // Damaged: no host, a process id of 0, a number that is none.
        {"state=running\n", 4, 1234, false},
        {"host_pid=0\nstate=running\n", 4, 0, false},
        {"host_pid=1234x\nstate=running\n", 4, 1234, false},
        {"host_pid=99999999999\nstate=running\n", 4, 1234, false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(launcher::recordBelongsToHost(launcher::parseStatusRecord(c.record),
                                                c.serviceState, c.hostPid),
                  c.belongs)
            << c.record << c.serviceState << " " << c.hostPid;
    }
}

TEST(AppendJsonString, EscapesControlsQuotesAndBadUtf8) {
    const struct {
        std::string text;
        std::string json;
    } cases[] = {
        {"", "\"\""},
        {"My Service", "\"My Service\""},
        {"NT SERVICE\\Svc", "\"NT SERVICE\\\\Svc\""},
        {"say \"hi\"", "\"say \\\"hi\\\"\""},
        {"a\nb\tc\x01\x1f\x7f", "\"a\\u000ab\\u0009c\\u0001\\u001f\x7f\""},
        {std::string("a\0b", 3), "\"a\\u0000b\""},
        {"\xC3\xA4\xE2\x82\xAC\xF0\x9F\x98\x80", "\"\xC3\xA4\xE2\x82\xAC\xF0\x9F\x98\x80\""},
        // Bytes that start no valid character: each is replaced.
        {"a\xFF"
         "b",
         "\"a\\ufffdb\""},
        {"\xC3", "\"\\ufffd\""},
        {"\xC0\xAF", "\"\\ufffd\\ufffd\""},  // overlong
        {"\xE0\x80\xAF", "\"\\ufffd\\ufffd\\ufffd\""},
        {"\xF0\x80\x80\xAF", "\"\\ufffd\\ufffd\\ufffd\\ufffd\""},
        {"\xED\xA0\x80", "\"\\ufffd\\ufffd\\ufffd\""},             // a lone (high) surrogate
        {"\xED\xBF\xBFx", "\"\\ufffd\\ufffd\\ufffdx\""},           // a lone low surrogate
        {"\xED\x9F\xBF", "\"\xED\x9F\xBF\""},                      // U+D7FF, just below them
        {"\xF4\x90\x80\x80", "\"\\ufffd\\ufffd\\ufffd\\ufffd\""},  // past U+10FFFF
        {"\xF8\x88\x80\x80\x80", "\"\\ufffd\\ufffd\\ufffd\\ufffd\\ufffd\""},
        {"\xE2\x82"
         "x",
         "\"\\ufffd\\ufffdx\""},
    };
    for (const auto& c : cases) {
        std::string out;
        launcher::appendJsonString(out, c.text);
        EXPECT_EQ(out, c.json) << c.text;
    }
}

TEST(ServiceStatusJson, OneObjectPerCaseAndTheExitCode) {
    ServiceStatusReport running;
    running.service = "Svc";
    running.installed = true;
    running.state = 4;
    running.startType = 2;
    running.delayed = true;
    running.displayName = "My \"Svc\"";
    running.account = "NT SERVICE\\Svc";
    running.hostPid = 1234;
    // The values point into the text read.
    running.recordText = hostRecord(1234, launcher::HostState::Running, 5678);
    running.record = launcher::parseStatusRecord(running.recordText);
    ServiceStatusReport stopped = running;
    stopped.state = 1;
    stopped.startType = 3;
    stopped.hostPid = 0;
    stopped.exitCode = 1066;
    stopped.serviceExitCode = 3;
    // A damaged record of a stopped host: its pid never shows, numbers that are none are null.
    stopped.recordText =
        "host_pid=1\nstate=stopped\napp_pid=42\nrestarts=x\nlast_exit_code=\nwatchdog=\n";
    stopped.record = launcher::parseStatusRecord(stopped.recordText);
    ServiceStatusReport unread = running;
    unread.state = 2;
    unread.startType.reset();
    unread.displayName.clear();
    unread.account.clear();
    unread.record.reset();
    ServiceStatusReport missing;
    missing.service = "Sv\xC3\xA4";
    ServiceStatusReport failed;
    failed.service = "Svc";
    failed.installed = true;
    failed.error = "Could not open the service manager.";
    failed.errorCode = 5;
    const struct {
        const ServiceStatusReport& report;
        int exitCode;
        std::string json;
    } cases[] = {
        {running, 0,
         R"({"service": "Svc", "installed": true, "state": "running", "start": "delayed", )"
         R"("display_name": "My \"Svc\"", "account": "NT SERVICE\\Svc", "host_pid": 1234, )"
         R"("exit_code": 0, "service_exit_code": 0, "application": {"pid": 5678, )"
         R"("started": "2026-12-08T04:52:13Z", "restarts": 2, "consecutive_failures": 0, )"
         R"("last_exit_code": 3, "last_exit": "2026-12-08T04:52:03Z", )"
         R"("last_restart_reason": "exit", "watchdog": "answering", )"
         R"("java_home": "C:\\Program Files\\J)"
         "\xC3\xA4"
         R"(va", "java_version": "17.0.2"}})"
         "\n"},
        {stopped, 3,
         R"({"service": "Svc", "installed": true, "state": "stopped", "start": "demand", )"
         R"("display_name": "My \"Svc\"", "account": "NT SERVICE\\Svc", "host_pid": 0, )"
         R"("exit_code": 1066, "service_exit_code": 3, "application": {"pid": null, )"
         R"("started": null, "restarts": null, "consecutive_failures": null, )"
         R"("last_exit_code": null, "last_exit": null, "last_restart_reason": null, )"
         R"("watchdog": null, "java_home": null, "java_version": null}})"
         "\n"},
        {unread, 3,
         R"({"service": "Svc", "installed": true, "state": "start_pending", "start": null, )"
         R"("display_name": null, "account": null, "host_pid": 1234, "exit_code": 0, )"
         R"("service_exit_code": 0, "application": null})"
         "\n"},
        {missing, 1,
         "{\"service\": \"Sv\xC3\xA4\", \"installed\": false, \"state\": \"not_installed\"}\n"},
        {failed, 1,
         R"({"service": "Svc", "error": "Could not open the service manager.", "error_code": 5})"
         "\n"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(launcher::serviceStatusJson(c.report), c.json);
        EXPECT_EQ(launcher::statusJsonExitCode(c.report), c.exitCode) << c.json;
    }
}

TEST(ServiceStatusJson, StateAndStartTexts) {
    const char* states[] = {"",        "stopped",          "start_pending", "stop_pending",
                            "running", "continue_pending", "pause_pending", "paused",
                            ""};
    for (uint32_t i = 0; i < std::size(states); ++i) {
        EXPECT_EQ(launcher::serviceStateText(i), states[i]) << i;
    }
    const char* starts[] = {"boot", "system", "auto", "demand", "disabled", ""};
    for (uint32_t i = 0; i < std::size(starts); ++i) {
        EXPECT_EQ(launcher::startTypeText(i, false), starts[i]) << i;
    }
    EXPECT_EQ(launcher::startTypeText(2, true), "delayed");
    EXPECT_EQ(launcher::startTypeText(3, true), "demand");
}

}  // namespace
