#include "record/forward_words.h"

#include "record/sentences.h"

std::string Subject(const RecordedForward& forward)
{
    const gateway::Grant& g = forward.grant;
    return std::string(Name(g.protocol)) + " " + std::to_string(g.externalPort) + " to " + g.internalAddress + " (" +
           std::string(Name(g.method)) + (g.family == Family::Ipv6 ? ", IPv6 pinhole" : "") + ")";
}

std::string LeaseWords(long long lifetime)
{
    namespace sentence = record::sentence;
    return lifetime == 0 ? Compose(sentence::HeldUntilRestart).text
                         : Compose(sentence::HeldFor, {{"seconds", std::to_string(lifetime)}}).text;
}
