// The table walk behind every QueryInterface of the framework's COM classes.
#include "framework/com/com_object.h"

namespace framework {

IUnknown* InterfaceTable::Find(void* object, REFIID iid) const noexcept {
    if (count_ == 0) return nullptr;
    // Every interface starts with IUnknown's methods, so any entry's pointer is an IUnknown;
    // the first one is the object's identity.
    if (IsEqualIID(iid, IID_IUnknown)) return static_cast<IUnknown*>(entries_[0].cast(object));
    for (size_t i = 0; i < count_; ++i) {
        if (IsEqualIID(iid, *entries_[i].iid)) {
            return static_cast<IUnknown*>(entries_[i].cast(object));
        }
    }
    return nullptr;
}

HRESULT InterfaceTable::Query(void* object, REFIID iid, void** out) const noexcept {
    if (!out) return E_POINTER;
    IUnknown* found = Find(object, iid);
    *out = found;
    if (!found) return E_NOINTERFACE;
    found->AddRef();
    return S_OK;
}

}  // namespace framework
