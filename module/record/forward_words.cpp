#include "record/forward_words.h"

std::string Subject(const RecordedForward& forward)
{
    return forward.protocol + " " + std::to_string(forward.externalPort) + " to " + forward.internalAddress + " (" +
           forward.how + (forward.family == "IPv6" ? ", IPv6 pinhole" : "") + ")";
}

std::string LeaseWords(long long lifetime)
{
    return lifetime == 0 ? "held until the router restarts" : "held for " + std::to_string(lifetime) + " s";
}

std::string OwnEntryName(int port, const std::string& protocol) { return "HLMX " + std::to_string(port) + " " + protocol; }
