#include "schedule/renewal_task_windows.h"

#define SECURITY_WIN32
#include <security.h>

#include <cwchar>

#include "platform/com/com_ptr.h"
#include "schedule/renewal_task_xml.h"

namespace {

std::wstring QualifiedUserName()
{
    ULONG size = 0;
    GetUserNameExW(NameSamCompatible, nullptr, &size);
    std::wstring name(size, L'\0');
    if (size == 0 || !GetUserNameExW(NameSamCompatible, name.data(), &size)) return {};
    name.resize(size);
    return name;
}

std::wstring LocalTimeNow()
{
    SYSTEMTIME now{};
    GetLocalTime(&now);
    wchar_t text[32];
    std::swprintf(text, 32, L"%04u-%02u-%02uT%02u:%02u:%02u", now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute,
                  now.wSecond);
    return text;
}

// Keeps the failed step and its status; true when the step went well.
class Steps {
public:
    bool operator()(HRESULT result, const char* step)
    {
        if (FAILED(result)) status = {result, step};
        return SUCCEEDED(result);
    }
    TaskStatus status;
};

bool OpenRootFolder(Steps& ok, ComPtr<ITaskService>& service, ComPtr<ITaskFolder>& root)
{
    const Variant none;
    return ok(CoInitialize(nullptr), "CoInitialize") &&
           ok(CoCreateInstance(CLSID_TaskScheduler, nullptr, CLSCTX_INPROC_SERVER, IID_ITaskService, service.put_void()),
              "CoCreateInstance TaskScheduler") &&
           ok(service->Connect(none.get(), none.get(), none.get(), none.get()), "ITaskService::Connect") &&
           ok(service->GetFolder(Bstr(L"\\").get(), root.put()), "ITaskService::GetFolder");
}

} // namespace

std::wstring RenewalTaskName()
{
    wchar_t user[257];
    DWORD size = 257;
    return std::wstring(L"Varneth renewal for ") + (GetUserNameW(user, &size) ? user : L"this user");
}

TaskStatus EnsureRenewalTask(const std::wstring& program, const std::wstring& folder)
{
    Steps ok;
    ComPtr<ITaskService> service;
    ComPtr<ITaskFolder> root;
    if (!OpenRootFolder(ok, service, root)) return ok.status;
    const Bstr name(RenewalTaskName());
    ComPtr<IRegisteredTask> registered;
    Bstr registeredXml;
    if (SUCCEEDED(root->GetTask(name.get(), registered.put())) && SUCCEEDED(registered->get_Xml(registeredXml.put())) &&
        RenewalTaskXmlRuns(registeredXml.ToWide(), program, folder))
        return ok.status;
    // The whole definition as XML: it holds logon and event triggers, which mingw-w64's
    // headers do not declare as interfaces.
    ComPtr<ITaskDefinition> definition;
    const Variant none;
    ok(service->NewTask(0, definition.put()), "ITaskService::NewTask") &&
        ok(definition->put_XmlText(Bstr(RenewalTaskXml(program, folder, QualifiedUserName(), LocalTimeNow())).get()),
           "ITaskDefinition::put_XmlText") &&
        ok(root->RegisterTaskDefinition(name.get(), definition.get(), TASK_CREATE_OR_UPDATE, none.get(), none.get(),
                                        TASK_LOGON_INTERACTIVE_TOKEN, none.get(), registered.put()),
           "ITaskFolder::RegisterTaskDefinition");
    return ok.status;
}

TaskStatus DeleteRenewalTask()
{
    Steps ok;
    ComPtr<ITaskService> service;
    ComPtr<ITaskFolder> root;
    if (!OpenRootFolder(ok, service, root)) return ok.status;
    const HRESULT deleted = root->DeleteTask(Bstr(RenewalTaskName()).get(), 0);
    if (deleted != HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND)) ok(deleted, "ITaskFolder::DeleteTask");
    return ok.status;
}
