#include "schedule/renewal_task_xml.h"

#include <cwchar>
#include <optional>
#include <utility>

namespace {

// Paths and user names may hold any of XML's five special characters.
std::wstring Escaped(const std::wstring& text)
{
    std::wstring escaped;
    for (const wchar_t c : text) {
        switch (c) {
        case L'&': escaped += L"&amp;"; break;
        case L'<': escaped += L"&lt;"; break;
        case L'>': escaped += L"&gt;"; break;
        case L'"': escaped += L"&quot;"; break;
        case L'\'': escaped += L"&apos;"; break;
        default: escaped += c;
        }
    }
    return escaped;
}

// The scheduler writes its own XML back: entities are read, not compared.
std::wstring Unescaped(const std::wstring& text)
{
    static const std::pair<const wchar_t*, wchar_t> kEntities[] = {
        {L"&amp;", L'&'}, {L"&lt;", L'<'}, {L"&gt;", L'>'}, {L"&quot;", L'"'}, {L"&apos;", L'\''}};
    std::wstring plain;
    for (std::size_t at = 0; at < text.size();) {
        bool entity = false;
        for (const auto& [name, c] : kEntities)
            if (text.compare(at, std::wcslen(name), name) == 0) {
                plain += c;
                at += std::wcslen(name);
                entity = true;
                break;
            }
        if (!entity) plain += text[at++];
    }
    return plain;
}

std::optional<std::wstring> ElementText(const std::wstring& xml, const std::wstring& name)
{
    const std::wstring open = L"<" + name + L">", close = L"</" + name + L">";
    const std::size_t start = xml.find(open);
    const std::size_t end = start == std::wstring::npos ? start : xml.find(close, start);
    if (end == std::wstring::npos) return std::nullopt;
    return Unescaped(xml.substr(start + open.size(), end - start - open.size()));
}

std::wstring Element(const wchar_t* name, const std::wstring& text)
{
    return std::wstring(L"<") + name + L">" + Escaped(text) + L"</" + name + L">";
}

// A system resume, as the Power-Troubleshooter logs it.
constexpr const wchar_t* kResumeQuery =
    L"<QueryList><Query Id=\"0\" Path=\"System\"><Select Path=\"System\">"
    L"*[System[Provider[@Name='Microsoft-Windows-Power-Troubleshooter'] and EventID=1]]"
    L"</Select></Query></QueryList>";

} // namespace

std::wstring RenewalTaskXml(const std::wstring& program, const std::wstring& folder, const std::wstring& user,
                            const std::wstring& start)
{
    return L"<?xml version=\"1.0\" encoding=\"UTF-16\"?>"
           L"<Task version=\"1.2\" xmlns=\"http://schemas.microsoft.com/windows/2004/02/mit/task\">"
           L"<RegistrationInfo>" +
           Element(L"Description", L"Keeps the ports opened with the Port Forwarding Tool open on the router.") +
           L"</RegistrationInfo>"
           L"<Triggers>"
           // For this user alone, which needs no administrator.
           L"<LogonTrigger>" + Element(L"UserId", user) + L"</LogonTrigger>"
           // The network comes back a moment after the machine does.
           L"<EventTrigger>" + Element(L"Subscription", kResumeQuery) + Element(L"Delay", L"PT30S") + L"</EventTrigger>"
           L"<TimeTrigger>" + Element(L"StartBoundary", start) +
           L"<Repetition><Interval>PT5M</Interval></Repetition></TimeTrigger>"
           L"</Triggers>"
           L"<Principals><Principal id=\"Author\">" + Element(L"UserId", user) +
           L"<LogonType>InteractiveToken</LogonType><RunLevel>LeastPrivilege</RunLevel></Principal></Principals>"
           L"<Settings>"
           L"<MultipleInstancesPolicy>IgnoreNew</MultipleInstancesPolicy>"
           L"<DisallowStartIfOnBatteries>false</DisallowStartIfOnBatteries>"
           L"<StopIfGoingOnBatteries>false</StopIfGoingOnBatteries>"
           // A run missed while the machine was off or asleep is made up at once.
           L"<StartWhenAvailable>true</StartWhenAvailable>"
           L"<ExecutionTimeLimit>PT1M</ExecutionTimeLimit>"
           L"</Settings>"
           L"<Actions Context=\"Author\"><Exec>" + Element(L"Command", program) + Element(L"WorkingDirectory", folder) +
           L"</Exec></Actions>"
           L"</Task>";
}

bool RenewalTaskXmlRuns(const std::wstring& xml, const std::wstring& program, const std::wstring& folder)
{
    return ElementText(xml, L"Command") == program && ElementText(xml, L"WorkingDirectory") == folder;
}
