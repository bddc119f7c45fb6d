#include "gateway/windows/system_nat_service.h"

#include <array>
#include <utility>

#include "platform/com/com_ptr.h"
#include "platform/utf8.h"

namespace gateway {
namespace {

// A reference of the system's, used and given back on the system's thread only.
template <class Interface> struct SystemReference {
    Interface* pointer = nullptr;
};
template <class Interface> using SharedReference = std::shared_ptr<SystemReference<Interface>>;

// The status says more than the step, where it says the object is missing or too slow.
PassOver Why(HRESULT status, std::string step)
{
    const std::string reason = status == kSystemTimedOut        ? "it did not answer within 4 s"
                             : status == REGDB_E_CLASSNOTREG ? "it is not registered on this machine"
                                                             : std::move(step);
    return PassOver{reason, static_cast<std::uint32_t>(status)};
}

class SystemNat final : public NatService {
public:
    SystemNat(SystemCalls& calls, std::function<void()> searchBeside, ReadBackMapping readBack)
        : calls_(calls), searchBeside_(std::move(searchBeside)), readBack_(std::move(readBack))
    {
    }
    ~SystemNat() override
    {
        GiveBack(collection_);
        GiveBack(nat_);
    }

    // A new object and collection each time, as each protocol's Access makes them.
    AccessAnswer OpenCollection() override
    {
        searchBeside_();
        GiveBack(collection_);
        GiveBack(nat_);
        auto nat = std::make_shared<SystemReference<IUPnPNAT>>();
        HRESULT status = calls_.Call([nat] {
            return CoCreateInstance(CLSID_UPnPNAT, nullptr, CLSCTX_ALL, IID_IUPnPNAT,
                                    reinterpret_cast<void**>(&nat->pointer));
        });
        nat_ = nat;
        if (FAILED(status)) return {Access::NotCreated, Why(status, "it could not be started")};
        if (nat->pointer == nullptr) return {Access::CreatedNone, Why(status, "it could not be started")};
        auto collection = std::make_shared<SystemReference<IStaticPortMappingCollection>>();
        status = calls_.Call([nat, collection] {
            return nat->pointer->get_StaticPortMappingCollection(&collection->pointer);
        });
        collection_ = collection;
        if (FAILED(status)) return {Access::CollectionFailed, Why(status, "it gave no port mappings")};
        // What the service answers when no gateway on the LAN speaks UPnP.
        if (collection->pointer == nullptr) return {Access::NoCollection, Why(status, "it found no UPnP router")};
        return {Access::Ok, std::nullopt};
    }

    AddAnswer Add(const MappingRequest& request) override
    {
        const std::string protocol(Name(request.protocol));
        // Copies: a call left behind still uses them once this one stopped waiting.
        auto texts = std::make_shared<std::array<Bstr, 3>>();
        (*texts)[0] = Bstr(WideFromUtf8(protocol));
        (*texts)[1] = Bstr(WideFromUtf8(request.internalClient));
        (*texts)[2] = Bstr(WideFromUtf8(request.description));
        auto made = std::make_shared<SystemReference<IStaticPortMapping>>();
        const HRESULT added = calls_.Call([collection = collection_, texts, made, request] {
            return collection->pointer->Add(request.externalPort, (*texts)[0].get(), request.internalPort,
                                            (*texts)[1].get(), VARIANT_BOOL{1}, (*texts)[2].get(), &made->pointer);
        });
        GiveBack(made);
        if (FAILED(added)) return {Adding::Failed, std::nullopt, Why(added, "it did not make the " + protocol + " mapping")};
        if (made->pointer == nullptr)
            return {Adding::MadeNone, std::nullopt, Why(added, "it handed no " + protocol + " mapping back")};
        AddAnswer confirmed = readBack_(request);
        if (confirmed.step != Adding::Made) confirmed.passOver = Why(E_FAIL, "it did not make the " + protocol + " mapping");
        return confirmed;
    }

private:
    template <class Interface> void GiveBack(const SharedReference<Interface>& reference)
    {
        if (!reference) return;
        calls_.Post([reference] {
            if (reference->pointer != nullptr) reference->pointer->Release();
        });
    }

    SystemCalls& calls_;
    std::function<void()> searchBeside_;
    ReadBackMapping readBack_;
    SharedReference<IUPnPNAT> nat_;
    SharedReference<IStaticPortMappingCollection> collection_;
};

} // namespace

std::unique_ptr<NatService> SystemNatService(SystemCalls& calls, std::function<void()> searchBeside,
                                             ReadBackMapping readBack)
{
    return std::make_unique<SystemNat>(calls, std::move(searchBeside), std::move(readBack));
}

} // namespace gateway
