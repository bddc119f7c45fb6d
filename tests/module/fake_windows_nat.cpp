#include "fake_platform.h"

namespace {

using namespace fake_com;

// The NAT object is also its own mapping collection and every mapping, of which the
// module asks only that one is handed back.
class FakeNat : public comrt::ComObject<IUPnPNAT, IStaticPortMappingCollection, IStaticPortMapping> {
public:
    explicit FakeNat(FakePlatform& platform) : platform_(platform) {}
    HRESULT get_StaticPortMappingCollection(IStaticPortMappingCollection** collection) override
    {
        return HandOut<IStaticPortMappingCollection>(platform_.Log("get_StaticPortMappingCollection"), this, collection);
    }
    HRESULT Add(LONG externalPort, BSTR protocol, LONG internalPort, BSTR client, VARIANT_BOOL enabled,
                BSTR description, IStaticPortMapping** mapping) override
    {
        return HandOut<IStaticPortMapping>(platform_.Log("Add " + Text(protocol) + " " + std::to_string(externalPort) + "->" +
                                                         Text(client) + ":" + std::to_string(internalPort) + " '" +
                                                         Text(description) + "' " + std::to_string(enabled)),
                                           this, mapping);
    }

private:
    FakePlatform& platform_;
};

} // namespace

void RegisterFakeNat(FakePlatform& platform)
{
    comrt::RegisterClass(CLSID_UPnPNAT, Factory<FakeNat, IUPnPNAT>(platform, "UPnPNAT"));
}
