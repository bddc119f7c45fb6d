// What an answer of firewalld (or of the bus on its behalf) means for us.
#pragma once

#include <string>

#include "firewall/firewall_types.h"

namespace firewall {

enum class AlreadyDone { IsFailure, IsSuccess };

// `result` is the call's status (negative errno on failure), `errorName` and
// `errorMessage` the D-Bus error. firewalld says ALREADY_ENABLED for a port that is
// open already, which an add takes as success, and NOT_ENABLED for one that is not
// open, which a removal takes as success.
Status FirewalldAnswerStatus(int result, const std::string& errorName, const std::string& errorMessage,
                             AlreadyDone already);

// The bus answered that nobody provides the service (and none can be started).
bool ServiceMissing(const std::string& errorName);

} // namespace firewall
