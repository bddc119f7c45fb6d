#include "platform/internal_client.h"

namespace {

std::string& Noted()
{
    static std::string address;
    return address;
}

} // namespace

void NoteInternalClient(const std::string& address) { Noted() = address; }

const std::string& NotedInternalClient() { return Noted(); }
