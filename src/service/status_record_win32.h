// Where the host's status record lives, for the host that writes it and for /status-json that
// reads it.
#pragma once

#include <string>

namespace launcher {

// The status record of the service, <ProgramData>\lumex\status\<service name>.status, as written
// (at most kStatusRecordMaxBytes); empty when there is none or it cannot be read.
std::string readStatusRecord(const std::wstring& serviceName);

}  // namespace launcher
