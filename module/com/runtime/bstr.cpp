// BSTRs laid out as on Windows: a 32-bit byte length in front of the text, and a
// terminating zero after it, so the text can be handed out as a plain C string.
#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <limits>

#include "com/runtime/com_runtime.h"

namespace {

std::atomic<long> liveStrings{0};

// The header is padded to the character size so the text stays aligned.
constexpr std::size_t kHeaderSpace = sizeof(OLECHAR) > sizeof(std::uint32_t) ? sizeof(OLECHAR) : sizeof(std::uint32_t);

std::uint32_t* Header(BSTR text) { return reinterpret_cast<std::uint32_t*>(text) - 1; }

} // namespace

BSTR SysAllocStringLen(const OLECHAR* text, unsigned length)
{
    constexpr std::size_t maxChars =
        (std::numeric_limits<std::uint32_t>::max() - sizeof(std::uint32_t)) / sizeof(OLECHAR) - 1;
    if (length > maxChars) return nullptr;
    const std::size_t bytes = std::size_t{length} * sizeof(OLECHAR);
    auto* block = static_cast<unsigned char*>(std::malloc(kHeaderSpace + bytes + sizeof(OLECHAR)));
    if (block == nullptr) return nullptr;
    BSTR result = reinterpret_cast<BSTR>(block + kHeaderSpace);
    *Header(result) = static_cast<std::uint32_t>(bytes);
    if (text != nullptr && length > 0) std::memcpy(result, text, bytes);
    else if (length > 0) std::memset(result, 0, bytes);
    result[length] = L'\0';
    ++liveStrings;
    return result;
}

BSTR SysAllocString(const OLECHAR* text)
{
    if (text == nullptr) return nullptr;
    return SysAllocStringLen(text, static_cast<unsigned>(std::wcslen(text)));
}

unsigned SysStringLen(BSTR text)
{
    return text == nullptr ? 0u : *Header(text) / sizeof(OLECHAR);
}

void SysFreeString(BSTR text)
{
    if (text == nullptr) return;
    std::free(reinterpret_cast<unsigned char*>(text) - kHeaderSpace);
    --liveStrings;
}

namespace comrt {
long LiveStringCount() { return liveStrings.load(); }
} // namespace comrt
