#include "com_standin.h"

#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <map>
#include <utility>

namespace {

std::atomic<long> liveObjects{0}, liveStrings{0};

std::atomic<HRESULT> injectedFailure{S_OK};

// Any order will do for a map: a GUID's 16 bytes have no padding.
struct GuidLess {
    bool operator()(const GUID& a, const GUID& b) const { return std::memcmp(&a, &b, sizeof(GUID)) < 0; }
};
// Classes are registered and made on the test's own thread only.
std::map<CLSID, comrt::ClassFactory, GuidLess> registry;

// A BSTR as on Windows: its length in bytes in front of the text, a zero after it.
std::uint32_t* Header(BSTR text) { return reinterpret_cast<std::uint32_t*>(text) - 1; }
constexpr std::size_t kHeader = sizeof(OLECHAR) > sizeof(std::uint32_t) ? sizeof(OLECHAR) : sizeof(std::uint32_t);

} // namespace

// The module only asks whether it failed, never whether the thread was initialised before (S_FALSE).
HRESULT CoInitialize(void*) { return injectedFailure.load(); }

HRESULT CoCreateInstance(REFCLSID clsid, IUnknown*, DWORD, REFIID iid, void** object)
{
    *object = nullptr;
    const auto found = registry.find(clsid);
    return found == registry.end() ? REGDB_E_CLASSNOTREG : found->second(iid, object);
}

BSTR SysAllocString(const OLECHAR* text)
{
    if (text == nullptr) return nullptr;
    const std::size_t bytes = std::wcslen(text) * sizeof(OLECHAR);
    auto* block = static_cast<unsigned char*>(std::malloc(kHeader + bytes + sizeof(OLECHAR)));
    if (block == nullptr) return nullptr;
    BSTR made = reinterpret_cast<BSTR>(block + kHeader);
    *Header(made) = static_cast<std::uint32_t>(bytes);
    std::memcpy(made, text, bytes + sizeof(OLECHAR));
    ++liveStrings;
    return made;
}

unsigned SysStringLen(BSTR text) { return text == nullptr ? 0u : *Header(text) / sizeof(OLECHAR); }

void SysFreeString(BSTR text)
{
    if (text == nullptr) return;
    std::free(reinterpret_cast<unsigned char*>(text) - kHeader);
    --liveStrings;
}

namespace comrt {

void RegisterClass(REFCLSID clsid, ClassFactory factory)
{
    registry[clsid] = std::move(factory);
}

long LiveObjectCount() { return liveObjects.load(); }
long LiveStringCount() { return liveStrings.load(); }
void CountObject(int delta) { liveObjects += delta; }

void InjectCoInitializeFailure(HRESULT hr) { injectedFailure = hr; }

void ResetRuntimeForTests()
{
    injectedFailure = S_OK;
    registry.clear();
}

} // namespace comrt
