#include <map>
#include <mutex>
#include <tuple>

#include "com/runtime/com_runtime.h"
#include "com/runtime/runtime_state.h"

namespace {

struct GuidLess {
    bool operator()(const GUID& a, const GUID& b) const
    {
        return std::tie(a.Data1, a.Data2, a.Data3, a.Data4[0], a.Data4[1], a.Data4[2], a.Data4[3],
                        a.Data4[4], a.Data4[5], a.Data4[6], a.Data4[7]) <
               std::tie(b.Data1, b.Data2, b.Data3, b.Data4[0], b.Data4[1], b.Data4[2], b.Data4[3],
                        b.Data4[4], b.Data4[5], b.Data4[6], b.Data4[7]);
    }
};

std::mutex registryMutex;

std::map<CLSID, comrt::ClassFactory, GuidLess>& Registry()
{
    static std::map<CLSID, comrt::ClassFactory, GuidLess> classes;
    return classes;
}

} // namespace

HRESULT CoCreateInstance(REFCLSID clsid, IUnknown* outer, DWORD /*context*/, REFIID iid, void** object)
{
    if (object == nullptr) return E_POINTER;
    *object = nullptr;
    if (outer != nullptr) return CLASS_E_NOAGGREGATION;
    comrt::ClassFactory factory;
    {
        std::lock_guard<std::mutex> lock(registryMutex);
        const auto found = Registry().find(clsid);
        if (found == Registry().end()) return REGDB_E_CLASSNOTREG;
        factory = found->second;
    }
    return factory(iid, object);
}

namespace comrt {

void RegisterClass(REFCLSID clsid, ClassFactory factory)
{
    std::lock_guard<std::mutex> lock(registryMutex);
    Registry()[clsid] = std::move(factory);
}

void RevokeClass(REFCLSID clsid)
{
    std::lock_guard<std::mutex> lock(registryMutex);
    Registry().erase(clsid);
}

void ResetRuntimeForTests()
{
    detail::ResetApartments();
    detail::ResetClasses();
}

namespace detail {
void ResetClasses()
{
    std::lock_guard<std::mutex> lock(registryMutex);
    Registry().clear();
}
} // namespace detail

} // namespace comrt
