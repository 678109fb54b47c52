// Folders the launcher keeps across runs for an account or a service, and the check that makes
// them safe to keep code in: only the account itself, SYSTEM and administrators may change what
// lies in them.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "common/unique_handle.h"

namespace launcher {

// The machine's ProgramData folder: the ProgramData value of the profile list in the registry
// (expanded), else the environment variable of the same name; empty when neither gives one.
// The registry comes first because a service's environment may name another folder (Wine gives
// services C:\users\Public) than an ordinary program's, and both must find the same files.
std::wstring programDataFolder();

// The SID of the account this process runs under, as text; empty when it cannot be read.
std::wstring ownUserSid();

// A security descriptor from its text with one more entry, (ownEntry;;;<this account's SID>),
// when the SID can be read, e.g. ownEntry "A;OICI;FA": full control for files and folders
// below too. false (logged) when the text is refused; owner frees it.
bool accessListWithOwnAccount(const std::wstring& text, std::wstring_view ownEntry,
                              UniqueLocal& owner);

// base\names[0]\names[1]... made where missing, each new folder with a protected access list
// (SYSTEM, administrators and this account, full control). Every folder of the chain, base
// included, must be owned by one of those three and let no one else delete, rename or
// re-permission it; the last one must also let no one else add to it, and none of the made
// names may be a link. The last folder, or empty (with a log line saying why) when one cannot
// be made or is not safe.
std::wstring makeSafeFolder(const std::wstring& base, const std::vector<std::wstring>& names);

}  // namespace launcher
