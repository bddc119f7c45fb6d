// Reads the scheduler back on its own, for the Wine tests:
//   renewal_task_probe show     the registered renewal task's XML, or "absent"
//   renewal_task_probe delete   the task removed, as before anything was recorded
#include <cstdio>
#include <cstring>

#include "platform/com/com_ptr.h"
#include "schedule/renewal_task_windows.h"
#include "text_lines.h"

namespace {

int Show()
{
    const Variant none;
    ComPtr<ITaskService> service;
    ComPtr<ITaskFolder> root;
    ComPtr<IRegisteredTask> task;
    Bstr xml;
    if (FAILED(CoInitialize(nullptr)) ||
        FAILED(CoCreateInstance(CLSID_TaskScheduler, nullptr, CLSCTX_INPROC_SERVER, IID_ITaskService, service.put_void())) ||
        FAILED(service->Connect(none.get(), none.get(), none.get(), none.get())) || FAILED(service->GetFolder(Bstr(L"\\").get(), root.put()))) {
        std::puts("no scheduler");
        return 1;
    }
    const HRESULT found = root->GetTask(Bstr(RenewalTaskName()).get(), task.put());
    if (found == HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND)) {
        std::puts("absent");
        return 0;
    }
    if (FAILED(found) || FAILED(task->get_Xml(xml.put()))) {
        std::printf("GetTask failed: 0x%08lX\n", static_cast<unsigned long>(found));
        return 1;
    }
    std::puts(NarrowToBytes(xml.ToWide()).c_str());
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc == 2 && std::strcmp(argv[1], "show") == 0) return Show();
    if (argc == 2 && std::strcmp(argv[1], "delete") == 0) return FAILED(DeleteRenewalTask().status);
    std::fputs("usage: renewal_task_probe show|delete\n", stderr);
    return 2;
}
