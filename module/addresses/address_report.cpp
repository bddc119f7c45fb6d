#include "addresses/address_report.h"

std::vector<std::wstring> ParseAddressReport(const std::vector<std::wstring>& lines)
{
    static const std::wstring marker = L"IPv4";
    static const std::wstring separator = L": ";
    std::vector<std::wstring> addresses;
    for (const std::wstring& line : lines) {
        if (line.find(marker) == std::wstring::npos) continue;
        const std::size_t at = line.find(separator);
        if (at == std::wstring::npos) continue;
        addresses.push_back(line.substr(at + separator.size()));
    }
    return addresses;
}
