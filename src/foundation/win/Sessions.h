#pragma once
// The interactive terminal-services session and the tokens of its user. wtsapi32 is loaded at run
// time from System32.

#include <cstdint>
#include <optional>
#include <string>

#include "foundation/Result.h"
#include "foundation/win/AutoHandle.h"

namespace kvx::WinUtils {

// The first active session in the order Windows lists them; none when nobody is signed in.
std::optional<uint32_t> getInteractiveSessionId();

// A primary token of the interactive session's user (needs the TCB privilege).
Result<AutoHandle, std::string> getInteractiveSessionUserToken();

// An impersonation token of the session's user: the full token when the user's is a filtered one.
Result<AutoHandle, std::string> getUserImpersonationToken(uint32_t sessionId);

// The session whose user has the given name (case-insensitive), or an error text.
Result<uint32_t, std::string> findSessionOfUser(const std::string& userName);

// Whether the process token's user is the local SYSTEM account.
bool isRunningAsSystem();

}  // namespace kvx::WinUtils
