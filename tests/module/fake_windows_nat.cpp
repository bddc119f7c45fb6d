#include "fake_platform.h"
#include "gateway/mapping_lease.h"

namespace {

using namespace fake_com;

// The NAT object is also its own mapping collection and every mapping, of which the
// module reads only the external address and the lease (of the protocol last added).
class FakeNat
    : public comrt::ComObject<IUPnPNAT, IStaticPortMappingCollection, IStaticPortMapping, IMappingLease> {
public:
    explicit FakeNat(FakePlatform& platform) : platform_(platform) {}
    HRESULT get_StaticPortMappingCollection(IStaticPortMappingCollection** collection) override
    {
        return HandOut<IStaticPortMappingCollection>(platform_.Log("get_StaticPortMappingCollection"), this, collection);
    }
    HRESULT Add(LONG externalPort, BSTR protocol, LONG internalPort, BSTR client, VARIANT_BOOL enabled,
                BSTR description, IStaticPortMapping** mapping) override
    {
        protocol_ = Text(protocol);
        return HandOut<IStaticPortMapping>(platform_.Log("Add " + Text(protocol) + " " + std::to_string(externalPort) + "->" +
                                                         Text(client) + ":" + std::to_string(internalPort) + " '" +
                                                         Text(description) + "' " + std::to_string(enabled)),
                                           this, mapping);
    }
    HRESULT get_ExternalIPAddress(BSTR* address) override { return (*address = SysAllocString(L"11.77.0.1")) ? S_OK : E_OUTOFMEMORY; }
    HRESULT get_ExternalPort(LONG*) override { return E_NOTIMPL; }
    HRESULT get_InternalPort(LONG*) override { return E_NOTIMPL; }
    HRESULT get_Protocol(BSTR*) override { return E_NOTIMPL; }
    HRESULT get_InternalClient(BSTR*) override { return E_NOTIMPL; }
    HRESULT get_Enabled(VARIANT_BOOL*) override { return E_NOTIMPL; }
    HRESULT get_Description(BSTR*) override { return E_NOTIMPL; }
    HRESULT get_LeaseSeconds(LONG* seconds) override
    {
        *seconds = platform_.leases[protocol_];
        return StatusOf(platform_.Log("get_LeaseSeconds"));
    }

private:
    FakePlatform& platform_;
    std::string protocol_;
};

} // namespace

void RegisterFakeNat(FakePlatform& platform)
{
    comrt::RegisterClass(CLSID_UPnPNAT, Factory<FakeNat, IUPnPNAT>(platform, "UPnPNAT"));
}
