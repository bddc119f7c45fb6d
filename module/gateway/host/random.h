// Unpredictable bytes, for the nonce that makes a PCP answer ours.
#pragma once

#include <cstddef>
#include <cstdint>

namespace gateway::host {

// False when the system gave none; the bytes are then not to be relied on.
bool FillRandom(std::uint8_t* bytes, std::size_t size);

} // namespace gateway::host
