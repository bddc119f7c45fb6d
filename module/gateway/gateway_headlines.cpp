#include "gateway/gateway_headlines.h"

#include "gateway/reserved_address.h"
#include "gateway/sentences.h"

namespace gateway::headline {

Told NoneAnswered() { return Compose(sentence::NoneAnswered); }

Told NoDefaultGateway() { return Compose(sentence::NoDefaultGateway); }

Told TooSlow() { return Compose(sentence::TooSlow); }

Told UpnpUnusable() { return Compose(sentence::UpnpUnusable); }

Told NotConnected() { return Compose(sentence::NotConnected); }

Told PortControlRefused(const std::string& reason) { return Compose(sentence::PortControlRefused, {{"reason", reason}}); }

Told BehindAnotherNat(std::optional<Ipv4> externalAddress)
{
    if (!externalAddress || externalAddress->value == 0) return Compose(sentence::NoInternetAddress);
    if (IsSharedAddressSpace(*externalAddress)) return Compose(sentence::Cgnat);
    return Compose(sentence::PrivateAddress, {{"address", ToString(*externalAddress)}});
}

Told NotAuthorized(int port, const std::string& reason)
{
    return Compose(sentence::NotAuthorized, {{"port", std::to_string(port)}, {"reason", reason}});
}

Told Refused(int port, const std::string& reason)
{
    return Compose(sentence::Refused, {{"port", std::to_string(port)}, {"reason", reason}});
}

Told HeldByAnother(int port, const std::string& holder)
{
    return Compose(sentence::HeldByAnother,
                   {{"port", std::to_string(port)},
                    {"holder", holder.empty() ? std::string() : Compose(sentence::Holder, {{"holder", holder}}).text}});
}

Told OfferedAnother(int port, int offered)
{
    return Compose(sentence::OfferedAnother, {{"port", std::to_string(port)}, {"offered", std::to_string(offered)}});
}

Told NotHeld(int port) { return Compose(sentence::NotHeld, {{"port", std::to_string(port)}}); }

Told NoAnswer(int port) { return Compose(sentence::NoAnswer, {{"port", std::to_string(port)}}); }

Told AnswerUnreadable(int port) { return Compose(sentence::AnswerUnreadable, {{"port", std::to_string(port)}}); }

Told GrantTooShort(int port, std::uint32_t seconds)
{
    const std::string span = seconds == 1 ? Compose(sentence::OneSecond).text
                                          : Compose(sentence::Seconds, {{"count", std::to_string(seconds)}}).text;
    return Compose(sentence::GrantTooShort, {{"port", std::to_string(port)}, {"span", span}});
}

Told OnlyOwnAddress(const std::string& ownAddress)
{
    return Compose(sentence::OnlyOwnAddress, {{"address", ownAddress}});
}

Told NothingAsked(const std::string& problem) { return Compose(sentence::NothingAsked, {{"problem", problem}}); }

} // namespace gateway::headline
