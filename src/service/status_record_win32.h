// Where the host's status record lives, for the host that writes it and for /status-json that
// reads it.
#pragma once

#include <string>

namespace launcher {

// The machine's ProgramData folder: the ProgramData value of the profile list in the registry
// (expanded), else the environment variable of the same name; empty when neither gives one.
// The registry comes first because a service's environment may name another folder (Wine gives
// services C:\users\Public) than an ordinary program's, and the record must be found by both.
std::wstring programDataFolder();

// The status record of the service, <ProgramData>\lumex\status\<service name>.status, as written
// (at most kStatusRecordMaxBytes); empty when there is none or it cannot be read.
std::string readStatusRecord(const std::wstring& serviceName);

}  // namespace launcher
