#include "addresses/internal_ips.h"

#include "addresses/address_capture.h"
#include "addresses/address_report.h"
#include "text_lines.h"

std::vector<std::wstring> GetInternalIPs()
{
    const std::optional<std::string> report = CaptureAddressReport();
    if (!report) return {L"ERROR"};
    return ParseAddressReport(SplitLines(*report));
}

std::vector<std::string> AddressTexts(const std::vector<std::wstring>& listed)
{
    std::vector<std::string> texts;
    for (const std::wstring& address : listed)
        if (address != L"ERROR") texts.push_back(NarrowToBytes(address));
    return texts;
}
