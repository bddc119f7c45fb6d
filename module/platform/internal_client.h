// The internal client of the last mapping asked of the gateway: where the mapped
// traffic arrives, so where the firewall has to let it in.
#pragma once

#include <string>

void NoteInternalClient(const std::string& address);

// Empty until a mapping was asked for.
const std::string& NotedInternalClient();
