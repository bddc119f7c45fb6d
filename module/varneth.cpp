#include "varneth.h"

#include "diagnostics.h"

bool Varneth::Access()
{
    Collection.reset();
    Nat.reset();
    const HRESULT created = CoCreateInstance(CLSID_UPnPNAT, nullptr, CLSCTX_ALL, IID_IUPnPNAT, Nat.put_void());
    if (FAILED(created)) {
        DiagnosticLine("Varneth::Access CoCreateInstance IUPnPNAT failed");
        return false;
    }
    if (!Nat) {
        DiagnosticLine("Varneth::Access CoCreateInstance succeeded, but left Nat null");
        return false;
    }
    if (FAILED(Nat->get_StaticPortMappingCollection(Collection.put()))) {
        DiagnosticLine("Varneth::Access Nat->get_StaticPortMappingCollection failed");
        return false;
    }
    if (!Collection) {
        DiagnosticLine("Varneth::Access Nat->get_StaticPortMappingCollection succeeded, but left Collection null");
        return false;
    }
    return true;
}

bool Varneth::Add(wchar_t protocol, std::int32_t externalPort, std::int32_t internalPort,
                  const std::wstring& internalClient, const std::wstring& description)
{
    const Bstr protocolName(protocol == L't' ? L"TCP" : L"UDP");
    const Bstr client(internalClient);
    const Bstr mappingDescription(description);
    Mapping.reset();
    // Only reached after a good Access; an object without a collection cannot add.
    const HRESULT added = Collection ? Collection->Add(externalPort, protocolName.get(), internalPort, client.get(),
                                                      VARIANT_BOOL{1}, mappingDescription.get(), Mapping.put())
                                     : E_POINTER;
    if (FAILED(added)) {
        DiagnosticLine("Varneth::Add Collection->Add failed");
        return false;
    }
    if (!Mapping) {
        DiagnosticLine("Varneth::Add Collection->Add succeeded, but left Mapping null");
        return false;
    }
    return true;
}

bool Varneth::MapPort(wchar_t protocol, std::int32_t externalPort, std::int32_t internalPort,
                      const std::wstring& internalClient, const std::wstring& description)
{
    return Access() && Add(protocol, externalPort, internalPort, internalClient, description);
}
