// The COM runtime calls the module makes, for platforms without COM: apartment
// initialisation, class creation through a registry of classes, and BSTRs.
#pragma once

#include <functional>

#include "com/runtime/com_object.h"
#include "com/runtime/interfaces.h"

HRESULT CoInitialize(void* reserved);
HRESULT CoCreateInstance(REFCLSID clsid, IUnknown* outer, DWORD context, REFIID iid, void** object);

BSTR SysAllocString(const OLECHAR* text);
BSTR SysAllocStringLen(const OLECHAR* text, unsigned length);
unsigned SysStringLen(BSTR text);
void SysFreeString(BSTR text);

namespace comrt {

// Creates an object of one class and asks it for the interface `iid`.
using ClassFactory = std::function<HRESULT(REFIID iid, void** object)>;

void RegisterClass(REFCLSID clsid, ClassFactory factory);
void RevokeClass(REFCLSID clsid);

template <class Impl>
ClassFactory FactoryFor()
{
    return [](REFIID iid, void** object) -> HRESULT {
        if (object == nullptr) return E_POINTER;
        *object = nullptr;
        Impl* created = new (std::nothrow) Impl();
        if (created == nullptr) return E_OUTOFMEMORY;
        const HRESULT hr = created->QueryInterface(iid, object);
        created->Release();
        return hr;
    };
}

// BSTRs allocated and not yet freed; tests expect 0 after each case.
long LiveStringCount();

// Test hooks: make the next CoInitialize calls on any thread fail with `hr`, and
// put the runtime back as a fresh process has it (no classes, no fault, no apartments).
void InjectCoInitializeFailure(HRESULT hr);
void ResetRuntimeForTests();

} // namespace comrt
