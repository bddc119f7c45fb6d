// Just enough COM for the unit tests to build Windows' own COM steps on Linux and drive
// them with fakes: the types, statuses and identifiers those steps use, the interfaces with
// the methods they call, CoCreateInstance over a registry of classes, CoInitialize that can
// be made to fail, BSTRs, and what is still alive of objects and strings. On Linux
// platform/com/com_api.h includes it, and only the test builds can find it.
#pragma once

#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <functional>
#include <utility>
#include <vector>

using HRESULT = std::int32_t;
using LONG = std::int32_t;
using ULONG = std::uint32_t;
using DWORD = std::uint32_t;
using VARIANT_BOOL = std::int16_t;
using OLECHAR = wchar_t;
using BSTR = OLECHAR*;

constexpr VARIANT_BOOL VARIANT_TRUE = -1;
constexpr VARIANT_BOOL VARIANT_FALSE = 0;

constexpr HRESULT MakeHresult(std::uint32_t bits) { return static_cast<HRESULT>(bits); }
constexpr HRESULT S_OK = 0;
constexpr HRESULT S_FALSE = 1;
constexpr HRESULT E_NOINTERFACE = MakeHresult(0x80004002u);
constexpr HRESULT E_POINTER = MakeHresult(0x80004003u);
constexpr HRESULT E_FAIL = MakeHresult(0x80004005u);
constexpr HRESULT E_ACCESSDENIED = MakeHresult(0x80070005u);
constexpr HRESULT E_OUTOFMEMORY = MakeHresult(0x8007000Eu);
constexpr HRESULT REGDB_E_CLASSNOTREG = MakeHresult(0x80040154u);
// A Win32 error code as Windows makes it a status.
constexpr HRESULT HRESULT_FROM_WIN32(std::uint32_t code)
{
    return code == 0 ? S_OK : MakeHresult((code & 0xFFFFu) | (7u << 16) | 0x80000000u);
}
constexpr bool SUCCEEDED(HRESULT hr) { return hr >= 0; }
constexpr bool FAILED(HRESULT hr) { return hr < 0; }

constexpr DWORD CLSCTX_INPROC_SERVER = 1;
constexpr DWORD CLSCTX_ALL = 23;

enum NET_FW_IP_PROTOCOL { NET_FW_IP_PROTOCOL_TCP = 6, NET_FW_IP_PROTOCOL_UDP = 17 };

struct GUID {
    std::uint32_t Data1;
    std::uint16_t Data2, Data3;
    std::uint8_t Data4[8];
};
using IID = GUID;
using CLSID = GUID;
using REFIID = const IID&;
using REFCLSID = const CLSID&;
// A GUID's 16 bytes have no padding.
inline bool operator==(const GUID& a, const GUID& b) { return std::memcmp(&a, &b, sizeof(GUID)) == 0; }

inline constexpr IID IID_IUnknown = {0x00000000, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
inline constexpr CLSID CLSID_UPnPNAT = {0xAE1E00AA, 0x3FD5, 0x403C, {0x8A, 0x27, 0x2B, 0xBD, 0xC3, 0x0C, 0xD0, 0xE1}};
inline constexpr IID IID_IUPnPNAT = {0xB171C812, 0xCC76, 0x485A, {0x94, 0xD8, 0xB6, 0xB3, 0xA2, 0x79, 0x4E, 0x99}};
inline constexpr IID IID_IStaticPortMappingCollection = {0xCD1F3E77, 0x66D6, 0x4664, {0x82, 0xC7, 0x36, 0xDB, 0xB6, 0x41, 0xD0, 0xF1}};
inline constexpr IID IID_IStaticPortMapping = {0x6F10711F, 0x729B, 0x41E5, {0x93, 0xB8, 0xF2, 0x1D, 0x0F, 0x81, 0x8D, 0xF1}};
inline constexpr CLSID CLSID_NetFwMgr = {0x304CE942, 0x6E39, 0x40D8, {0x94, 0x3A, 0xB9, 0x13, 0xC4, 0x0C, 0x9C, 0xD4}};
inline constexpr IID IID_INetFwMgr = {0xF7898AF5, 0xCAC4, 0x4632, {0xA2, 0xEC, 0xDA, 0x06, 0xE5, 0x11, 0x1A, 0xF2}};
inline constexpr IID IID_INetFwPolicy = {0xD46D2478, 0x9AC9, 0x4008, {0x9D, 0xC7, 0x55, 0x63, 0xCE, 0x55, 0x36, 0xCC}};
inline constexpr IID IID_INetFwProfile = {0x174A0DDA, 0xE9F9, 0x449D, {0x99, 0x3B, 0x21, 0xAB, 0x66, 0x7C, 0xA4, 0x56}};
inline constexpr IID IID_INetFwOpenPorts = {0xC0E9D7FA, 0xE07E, 0x430A, {0xB1, 0x9A, 0x09, 0x0C, 0xE8, 0x2D, 0x92, 0xE2}};
inline constexpr CLSID CLSID_NetFwOpenPort = {0x0CA545C6, 0x37AD, 0x4A6C, {0xBF, 0x92, 0x9F, 0x76, 0x10, 0x06, 0x7E, 0xF5}};
inline constexpr IID IID_INetFwOpenPort = {0xE0483BA0, 0x47FF, 0x4D9C, {0xA6, 0xD6, 0x77, 0x41, 0xD0, 0xB1, 0x95, 0xF7}};

// The interfaces with the calls the module makes of them, each naming its own IID. The
// vtable layout only has to agree with itself here.
struct IUnknown {
    virtual HRESULT QueryInterface(REFIID iid, void** object) = 0;
    virtual ULONG AddRef() = 0;
    virtual ULONG Release() = 0;

protected:
    ~IUnknown() = default;
};
struct IStaticPortMapping : IUnknown {
    static constexpr const IID& iid = IID_IStaticPortMapping;
};
struct IStaticPortMappingCollection : IUnknown {
    static constexpr const IID& iid = IID_IStaticPortMappingCollection;
    virtual HRESULT Add(LONG externalPort, BSTR protocol, LONG internalPort, BSTR internalClient,
                        VARIANT_BOOL enabled, BSTR description, IStaticPortMapping** mapping) = 0;
};
struct IUPnPNAT : IUnknown {
    static constexpr const IID& iid = IID_IUPnPNAT;
    virtual HRESULT get_StaticPortMappingCollection(IStaticPortMappingCollection** collection) = 0;
};
struct INetFwOpenPort : IUnknown {
    static constexpr const IID& iid = IID_INetFwOpenPort;
    virtual HRESULT put_Port(LONG port) = 0;
    virtual HRESULT put_Protocol(NET_FW_IP_PROTOCOL protocol) = 0;
    virtual HRESULT get_Name(BSTR* name) = 0;
    virtual HRESULT put_Name(BSTR name) = 0;
    virtual HRESULT get_Enabled(VARIANT_BOOL* enabled) = 0;
};
struct INetFwOpenPorts : IUnknown {
    static constexpr const IID& iid = IID_INetFwOpenPorts;
    virtual HRESULT Item(LONG port, NET_FW_IP_PROTOCOL protocol, INetFwOpenPort** openPort) = 0;
    virtual HRESULT Add(INetFwOpenPort* openPort) = 0;
    virtual HRESULT Remove(LONG port, NET_FW_IP_PROTOCOL protocol) = 0;
};
struct INetFwProfile : IUnknown {
    static constexpr const IID& iid = IID_INetFwProfile;
    virtual HRESULT get_FirewallEnabled(VARIANT_BOOL* enabled) = 0;
    virtual HRESULT get_GloballyOpenPorts(INetFwOpenPorts** openPorts) = 0;
};
struct INetFwPolicy : IUnknown {
    static constexpr const IID& iid = IID_INetFwPolicy;
    virtual HRESULT get_CurrentProfile(INetFwProfile** profile) = 0;
};
struct INetFwMgr : IUnknown {
    static constexpr const IID& iid = IID_INetFwMgr;
    virtual HRESULT get_LocalPolicy(INetFwPolicy** policy) = 0;
};

namespace comrt {

// Makes an object of a class registered for CoCreateInstance, as the interface `iid`.
using ClassFactory = std::function<HRESULT(REFIID iid, void** object)>;
// Classes are registered and made on the test's own thread only.
inline std::vector<std::pair<CLSID, ClassFactory>> registry;
// Objects made from ComObject and BSTRs still alive; a case ends with none.
inline std::atomic<long> liveObjects{0}, liveStrings{0};
inline std::atomic<HRESULT> injectedFailure{S_OK};

inline void RegisterClass(REFCLSID clsid, ClassFactory factory) { registry.emplace_back(clsid, std::move(factory)); }
// The next CoInitialize calls, on any thread, fail with `hr`.
inline void InjectCoInitializeFailure(HRESULT hr) { injectedFailure = hr; }
// The runtime as a fresh process has it: no classes, no failure.
inline void ResetRuntimeForTests()
{
    injectedFailure = S_OK;
    registry.clear();
}

// A BSTR as on Windows: its length in bytes in front of the text, a zero after it.
inline std::uint32_t* Header(BSTR text) { return reinterpret_cast<std::uint32_t*>(text) - 1; }
constexpr std::size_t kHeader = sizeof(OLECHAR) > sizeof(std::uint32_t) ? sizeof(OLECHAR) : sizeof(std::uint32_t);

} // namespace comrt

// The module only asks whether it failed, never whether the thread was initialised before (S_FALSE).
inline HRESULT CoInitialize(void*) { return comrt::injectedFailure.load(); }

inline HRESULT CoCreateInstance(REFCLSID clsid, IUnknown*, DWORD, REFIID iid, void** object)
{
    *object = nullptr;
    for (const auto& [made, factory] : comrt::registry)
        if (made == clsid) return factory(iid, object);
    return REGDB_E_CLASSNOTREG;
}

inline BSTR SysAllocString(const OLECHAR* text)
{
    if (text == nullptr) return nullptr;
    const std::size_t bytes = std::wcslen(text) * sizeof(OLECHAR);
    auto* block = static_cast<unsigned char*>(std::malloc(comrt::kHeader + bytes + sizeof(OLECHAR)));
    if (block == nullptr) return nullptr;
    BSTR made = reinterpret_cast<BSTR>(block + comrt::kHeader);
    *comrt::Header(made) = static_cast<std::uint32_t>(bytes);
    std::memcpy(made, text, bytes + sizeof(OLECHAR));
    ++comrt::liveStrings;
    return made;
}

inline unsigned SysStringLen(BSTR text) { return text == nullptr ? 0u : *comrt::Header(text) / sizeof(OLECHAR); }

inline void SysFreeString(BSTR text)
{
    if (text == nullptr) return;
    std::free(reinterpret_cast<unsigned char*>(text) - comrt::kHeader);
    --comrt::liveStrings;
}

namespace comrt {

// A class of the fakes implementing one or more interfaces; it starts with one reference,
// its maker's.
template <class First, class... Rest>
class ComObject : public First, public Rest... {
public:
    ComObject() { ++liveObjects; }

    HRESULT QueryInterface(REFIID iid, void** object) override
    {
        if (object == nullptr) return E_POINTER;
        *object = iid == IID_IUnknown || iid == First::iid ? static_cast<First*>(this) : nullptr;
        ((iid == Rest::iid ? *object = static_cast<Rest*>(this) : nullptr), ...);
        if (*object == nullptr) return E_NOINTERFACE;
        AddRef();
        return S_OK;
    }
    ULONG AddRef() override { return ++references_; }
    ULONG Release() override
    {
        const ULONG left = --references_;
        if (left == 0) delete this;
        return left;
    }

protected:
    virtual ~ComObject() { --liveObjects; }

private:
    std::atomic<ULONG> references_{1};
};

} // namespace comrt
