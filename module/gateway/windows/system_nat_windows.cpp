#include "gateway/windows/system_nat_windows.h"

#include <array>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <new>
#include <thread>

#include "com/com_ptr.h"
#include "diagnostics.h"
#include "forward/forward_report.h"
#include "gateway/gateway_classes.h"
#include "platform/deadline.h"
#include "platform/left_behind.h"

namespace {

// Microsoft advises waiting about 3 s for the service's discovery; our client needs the rest.
constexpr std::chrono::milliseconds kSystemShare{4000};
constexpr HRESULT kTimedOut = HRESULT_FROM_WIN32(ERROR_TIMEOUT);

Deadline SystemDeadline() { return RunDeadline() - kRunTime + kSystemShare; }

// The thread every call to the system's object runs on, in a multithreaded apartment
// of its own; it lives as long as the process.
class SystemThread {
public:
    static SystemThread& Instance()
    {
        // Never destroyed: a call left behind may still be using it when the process ends.
        static SystemThread* const instance = new SystemThread();
        return *instance;
    }

    // The call's status, or a time-out once the system's share of the run is over.
    HRESULT Call(std::function<HRESULT()> work)
    {
        auto handover = std::make_shared<Handover>();
        Post([work = std::move(work), handover] {
            const HRESULT status = work();
            const std::lock_guard<std::mutex> hold(handover->lock);
            handover->status = status;
            handover->done = true;
            handover->finished.notify_one();
        });
        std::unique_lock<std::mutex> hold(handover->lock);
        if (!handover->finished.wait_until(hold, SystemDeadline(), [&handover] { return handover->done; })) {
            NoteWorkLeftBehind();
            return kTimedOut;
        }
        return handover->status;
    }

    // Runs `work` when the thread is free, waiting for nothing.
    void Post(std::function<void()> work)
    {
        const std::lock_guard<std::mutex> hold(lock_);
        queue_.push_back(std::move(work));
        waiting_.notify_one();
    }

private:
    struct Handover {
        std::mutex lock;
        std::condition_variable finished;
        bool done = false;
        HRESULT status = E_FAIL;
    };

    SystemThread()
    {
        std::thread([this] {
            CoInitializeEx(nullptr, COINIT_MULTITHREADED);
            while (true) {
                std::unique_lock<std::mutex> hold(lock_);
                waiting_.wait(hold, [this] { return !queue_.empty(); });
                const std::function<void()> work = std::move(queue_.front());
                queue_.pop_front();
                hold.unlock();
                work();
            }
        }).detach();
    }

    std::mutex lock_;
    std::condition_variable waiting_;
    std::deque<std::function<void()>> queue_;
};

// A reference of the system's, used and given back on the system's thread only.
template <class Interface>
struct SystemReference {
    Interface* pointer = nullptr;
};

template <class Interface>
using SharedReference = std::shared_ptr<SystemReference<Interface>>;

template <class Interface>
void GiveBack(const SharedReference<Interface>& reference)
{
    SystemThread::Instance().Post([reference] {
        if (reference->pointer != nullptr) reference->pointer->Release();
    });
}

// Hands the system's reference out through `Front`, our object in front of it, once the
// call that got it succeeded; otherwise gives it back.
template <class Front, class Interface, class Out>
HRESULT HandOut(const SharedReference<Interface>& got, HRESULT status, Out** out)
{
    if (FAILED(status) || got->pointer == nullptr) {
        GiveBack(got);
        return status;
    }
    auto* front = new (std::nothrow) Front(got);
    if (front == nullptr) {
        GiveBack(got);
        return E_OUTOFMEMORY;
    }
    *out = front;
    return status;
}

class SystemCollection final : public comrt::ComObject<IStaticPortMappingCollection> {
public:
    explicit SystemCollection(SharedReference<IStaticPortMappingCollection> collection)
        : collection_(std::move(collection))
    {
    }
    ~SystemCollection() override { GiveBack(collection_); }

    HRESULT Add(LONG externalPort, BSTR protocol, LONG internalPort, BSTR internalClient, VARIANT_BOOL enabled,
                BSTR description, IStaticPortMapping** mapping) override
    {
        if (mapping == nullptr) return E_POINTER;
        *mapping = nullptr;
        // Copies: the caller's texts are freed when it stops waiting.
        auto texts = std::make_shared<std::array<Bstr, 3>>();
        (*texts)[0] = Bstr(TextOf(protocol));
        (*texts)[1] = Bstr(TextOf(internalClient));
        (*texts)[2] = Bstr(TextOf(description));
        auto made = std::make_shared<SystemReference<IStaticPortMapping>>();
        const HRESULT added = SystemThread::Instance().Call([collection = collection_, texts, made, externalPort,
                                                             internalPort, enabled] {
            return collection->pointer->Add(externalPort, (*texts)[0].get(), internalPort, (*texts)[1].get(), enabled,
                                            (*texts)[2].get(), &made->pointer);
        });
        GiveBack(made);
        if (FAILED(added) || made->pointer == nullptr) return added;
        // The system's object takes whatever device answers first on the LAN.
        return ConfirmGatewayMapping(externalPort, protocol, internalPort, internalClient, enabled, description,
                                     mapping);
    }

private:
    static std::wstring TextOf(BSTR text) { return text == nullptr ? std::wstring() : std::wstring(text, SysStringLen(text)); }

    SharedReference<IStaticPortMappingCollection> collection_;
};

class SystemNat final : public comrt::ComObject<IUPnPNAT> {
public:
    explicit SystemNat(SharedReference<IUPnPNAT> nat) : nat_(std::move(nat)) {}
    ~SystemNat() override { GiveBack(nat_); }

    HRESULT get_StaticPortMappingCollection(IStaticPortMappingCollection** collection) override
    {
        if (collection == nullptr) return E_POINTER;
        *collection = nullptr;
        auto got = std::make_shared<SystemReference<IStaticPortMappingCollection>>();
        const HRESULT status = SystemThread::Instance().Call(
            [nat = nat_, got] { return nat->pointer->get_StaticPortMappingCollection(&got->pointer); });
        return HandOut<SystemCollection>(got, status, collection);
    }

private:
    SharedReference<IUPnPNAT> nat_;
};

bool passedOver = false;

} // namespace

HRESULT CreateSystemNat(IUPnPNAT** nat)
{
    if (nat == nullptr) return E_POINTER;
    *nat = nullptr;
    auto created = std::make_shared<SystemReference<IUPnPNAT>>();
    const HRESULT status = SystemThread::Instance().Call([created] {
        return CoCreateInstance(CLSID_UPnPNAT, nullptr, CLSCTX_ALL, IID_IUPnPNAT,
                                reinterpret_cast<void**>(&created->pointer));
    });
    return HandOut<SystemNat>(created, status, nat);
}

bool SystemNatPassedOver() { return passedOver; }

bool PassOverSystemNat(const std::string& why, HRESULT status)
{
    if (passedOver) return false;
    passedOver = true;
    const std::string reason = status == kTimedOut            ? "it did not answer within 4 s"
                             : status == REGDB_E_CLASSNOTREG ? "it is not registered on this machine"
                                                             : why;
    StatusLine("PassOverSystemNat", status);
    UserLine("Windows' own NAT service was passed over (" + reason +
             "); this program's own UPnP, PCP and NAT-PMP client maps the port instead.");
    return true;
}
