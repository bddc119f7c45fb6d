#include "varneth.h"

#include "diagnostics.h"
#include "forward_report.h"
#include "platform/port_number.h"

namespace {

constexpr const char* kServiceHeadline =
    "This machine's port forwarding service could not be started. Restart the machine, then try again.";

} // namespace

bool Varneth::Access()
{
    Collection.reset();
    Nat.reset();
    const HRESULT created = CoCreateInstance(CLSID_UPnPNAT, nullptr, CLSCTX_ALL, IID_IUPnPNAT, Nat.put_void());
    if (FAILED(created)) {
        DiagnosticLine("Varneth::Access CoCreateInstance IUPnPNAT failed");
        UserLine("The NAT UPnP service could not be started.");
        Headline(kServiceHeadline);
        return false;
    }
    if (!Nat) {
        DiagnosticLine("Varneth::Access CoCreateInstance succeeded, but left Nat null");
        UserLine("The NAT UPnP service could not be started.");
        Headline(kServiceHeadline);
        return false;
    }
    const HRESULT collection = Nat->get_StaticPortMappingCollection(Collection.put());
    if (FAILED(collection)) {
        DiagnosticLine("Varneth::Access Nat->get_StaticPortMappingCollection failed");
        UserLine("The NAT UPnP service gave no port mappings.");
        Headline(kServiceHeadline);
        return false;
    }
    if (!Collection) {
        DiagnosticLine("Varneth::Access Nat->get_StaticPortMappingCollection succeeded, but left Collection null");
        // What the service answers when no gateway on the LAN speaks UPnP; our own
        // classes have told why in a headline.
        UserLine("No usable Internet gateway was found.");
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
        UserLine("The gateway did not make the mapping.");
        return false;
    }
    if (!Mapping) {
        DiagnosticLine("Varneth::Add Collection->Add succeeded, but left Mapping null");
        UserLine("The gateway made the mapping, but handed none back.");
        return false;
    }
    return true;
}

bool Varneth::MapPort(wchar_t protocol, std::int32_t externalPort, std::int32_t internalPort,
                      const std::wstring& internalClient, const std::wstring& description)
{
    // Never sent: gateways wrap a port past 65535 (70000 becomes 4464) and map another one.
    if (!IsPortNumber(externalPort) || !IsPortNumber(internalPort)) {
        ReportPortOutOfRange(protocol, IsPortNumber(externalPort) ? internalPort : externalPort);
        DiagnosticLine("Varneth::Add Collection->Add failed");
        return false;
    }
    return Access() && Add(protocol, externalPort, internalPort, internalClient, description);
}
