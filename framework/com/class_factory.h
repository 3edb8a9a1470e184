// Class factories of an in-process server and the cache that DllGetClassObject hands them out
// from:
//
//   framework::ClassObjectEntry sampleClass(CLSID_Sample,
//   &framework::ClassFactory<CSample>::Create);
//
//   STDAPI DllGetClassObject(REFCLSID clsid, REFIID iid, void** out) {
//       return framework::GetClassObject(clsid, iid, out, {&sampleClass});
//   }
//   STDAPI DllCanUnloadNow() { return framework::CanUnloadModule(); }
#pragma once

#include <objbase.h>

#include <initializer_list>

#include "framework/com/com_object.h"
#include "framework/com/inproc_module.h"
#include "framework/com/reference_count.h"

namespace framework {

// IClassFactory for a class with an interface table (framework/com/com_object.h). The factory
// itself holds no module lock, so a cached factory does not keep the DLL loaded; a client that
// wants to keep it loaded calls LockServer(TRUE).
template <typename Class>
class ClassFactory final : public IClassFactory {
public:
    // A new factory asked for iid.
    static HRESULT Create(REFIID iid, void** out) noexcept {
        if (!out) return E_POINTER;
        *out = nullptr;
        auto* factory = new (std::nothrow) ClassFactory();
        if (!factory) return E_OUTOFMEMORY;
        factory->AddRef();
        const HRESULT result = factory->QueryInterface(iid, out);
        factory->Release();
        return result;
    }

    STDMETHODIMP QueryInterface(REFIID iid, void** out) override {
        if (!out) return E_POINTER;
        if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IClassFactory)) {
            *out = static_cast<IClassFactory*>(this);
            AddRef();
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return references_.AddRef(); }
    STDMETHODIMP_(ULONG) Release() override { return references_.Release(this); }

    STDMETHODIMP CreateInstance(IUnknown* outer, REFIID iid, void** out) override {
        return CreateComInstance<Class>(outer, iid, out);
    }
    STDMETHODIMP LockServer(BOOL lock) override {
        if (lock) {
            LockModule();
        } else {
            UnlockModule();
        }
        return S_OK;
    }

private:
    friend class ReferenceCount;
    ClassFactory() = default;
    ~ClassFactory() = default;

    ReferenceCount references_;
};

// One creatable class of the module: its CLSID and its factory, created on the first request
// and kept until the entry is destroyed with the module. The creation runs under the module's
// critical section, so threads asking at once all get the one factory.
class ClassObjectEntry {
public:
    using FactoryCreator = HRESULT (*)(REFIID iid, void** out);

    ClassObjectEntry(const CLSID& clsid, FactoryCreator createFactory) noexcept
        : clsid_(&clsid), createFactory_(createFactory) {}
    ~ClassObjectEntry();
    ClassObjectEntry(const ClassObjectEntry&) = delete;
    ClassObjectEntry& operator=(const ClassObjectEntry&) = delete;

    const CLSID& Clsid() const noexcept { return *clsid_; }

    // The cached factory asked for iid.
    HRESULT GetClassObject(REFIID iid, void** out) noexcept;

private:
    const CLSID* clsid_;
    FactoryCreator createFactory_;
    IUnknown* cached_ = nullptr;
};

// DllGetClassObject over the module's classes: CLASS_E_CLASSNOTAVAILABLE for an unknown CLSID.
HRESULT GetClassObject(REFCLSID clsid, REFIID iid, void** out,
                       std::initializer_list<ClassObjectEntry*> classes) noexcept;

}  // namespace framework
