#include "gateway/host/random.h"

#include <windows.h>
#include <bcrypt.h>

namespace gateway::host {

bool FillRandom(std::uint8_t* bytes, std::size_t size)
{
    return BCryptGenRandom(nullptr, bytes, static_cast<ULONG>(size), BCRYPT_USE_SYSTEM_PREFERRED_RNG) >= 0;
}

} // namespace gateway::host
