// Reference counting and QueryInterface for our own COM classes.
#pragma once

#include <atomic>

#ifdef _WIN32
#include "com/nat_interfaces_windows.h"
#else
#include "com/runtime/interfaces.h"
#endif

namespace comrt {

// Objects made from ComObject that are still alive; tests expect 0 after each case.
long LiveObjectCount();

namespace detail {
void CountObject(int delta);
}

// Base for a class that implements one or more interfaces. The object starts with
// one reference, owned by whoever created it.
template <class First, class... Rest>
class ComObject : public Implements<First>, public Implements<Rest>... {
public:
    ComObject() { detail::CountObject(+1); }
    ComObject(const ComObject&) = delete;
    ComObject& operator=(const ComObject&) = delete;

    HRESULT QueryInterface(REFIID iid, void** object) override
    {
        if (object == nullptr) return E_POINTER;
        *object = nullptr;
        if (iid == IID_IUnknown)
            *object = static_cast<IUnknown*>(static_cast<First*>(this));
        else
            Find<First, Rest...>(iid, object);
        if (*object == nullptr) return E_NOINTERFACE;
        AddRef();
        return S_OK;
    }

    ULONG AddRef() override { return ++references_; }

    ULONG Release() override
    {
        const ULONG left = --references_;
        if (left == 0) delete this;
        return left;
    }

protected:
    virtual ~ComObject() { detail::CountObject(-1); }

private:
    template <class Interface, class... More>
    void Find(REFIID iid, void** object)
    {
        if (iid == InterfaceId<Interface>::value) {
            *object = static_cast<Interface*>(this);
            return;
        }
        if constexpr (sizeof...(More) > 0) Find<More...>(iid, object);
    }

    std::atomic<ULONG> references_{1};
};

} // namespace comrt
