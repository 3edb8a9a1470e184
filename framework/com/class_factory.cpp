// The class-object cache behind DllGetClassObject.
#include "framework/com/class_factory.h"

namespace framework {

ClassObjectEntry::~ClassObjectEntry() {
    if (cached_) cached_->Release();
}

HRESULT ClassObjectEntry::GetClassObject(REFIID iid, void** out) noexcept {
    if (!out) return E_POINTER;
    *out = nullptr;
    IUnknown* factory = nullptr;
    {
        CriticalSectionLock lock(ModuleCriticalSection());
        if (!cached_) {
            void* created = nullptr;
            const HRESULT result = createFactory_(IID_IUnknown, &created);
            if (FAILED(result)) return result;
            cached_ = static_cast<IUnknown*>(created);
        }
        factory = cached_;
        factory->AddRef();
    }
    const HRESULT result = factory->QueryInterface(iid, out);
    factory->Release();
    return result;
}

HRESULT GetClassObject(REFCLSID clsid, REFIID iid, void** out,
                       std::initializer_list<ClassObjectEntry*> classes) noexcept {
    if (!out) return E_POINTER;
    *out = nullptr;
    for (ClassObjectEntry* entry : classes) {
        if (IsEqualCLSID(clsid, entry->Clsid())) return entry->GetClassObject(iid, out);
    }
    return CLASS_E_CLASSNOTAVAILABLE;
}

}  // namespace framework
