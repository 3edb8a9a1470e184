// COM classes with an interface table. A class derives from the interfaces it implements,
// declares its table and leaves IUnknown to the framework:
//
//   class CSample : public ISample, public IObjectWithSite {
//   public:
//       static framework::InterfaceTable Interfaces() {
//           static const framework::InterfaceEntry entries[] = {
//               framework::InterfaceEntryFor<CSample, ISample>(),
//               framework::InterfaceEntryFor<CSample, IDispatch, ISample>(),
//               framework::InterfaceEntryFor<CSample, IObjectWithSite>(),
//           };
//           return framework::InterfaceTable(entries);
//       }
//       ...the interface methods, without IUnknown...
//   };
//
// QueryInterface answers IUnknown with the first entry and every listed IID with its entry,
// first match in table order, E_NOINTERFACE otherwise. CreateComInstance<CSample> (or the
// class factory of framework/com/class_factory.h) builds the object: StandaloneObject gives it its
// own interlocked reference count, AggregatedObject makes its public IUnknown delegate to an
// outer object and adds the inner, non-delegating IUnknown. Either holds a module lock while
// it lives.
#pragma once

#include <objbase.h>

#include <cstddef>
#include <new>
#include <utility>

#include "framework/com/inproc_module.h"
#include "framework/com/reference_count.h"

namespace framework {

struct InterfaceEntry {
    const IID* iid;
    void* (*cast)(void* object);  // from the class pointer to the interface pointer
};

// The entry for interface Answered, reached through base Through of Class: Through differs
// when the class implements Answered only through a derived interface (IDispatch through a
// dual interface, IPersist through IPersistStream).
template <typename Class, typename Answered, typename Through = Answered>
InterfaceEntry InterfaceEntryFor() {
    return {&__uuidof(Answered), [](void* object) -> void* {
                return static_cast<Answered*>(static_cast<Through*>(static_cast<Class*>(object)));
            }};
}

class InterfaceTable {
public:
    template <size_t N>
    explicit InterfaceTable(const InterfaceEntry (&entries)[N]) noexcept
        : entries_(entries), count_(N) {}

    // The interface for iid, not AddRef'ed, or null. object is the Class pointer.
    IUnknown* Find(void* object, REFIID iid) const noexcept;

    // QueryInterface over the table: writes *out and AddRefs the found interface.
    HRESULT Query(void* object, REFIID iid, void** out) const noexcept;

private:
    const InterfaceEntry* entries_;
    size_t count_;
};

// An object of Class living on its own.
template <typename Class>
class StandaloneObject final : public Class {
public:
    template <typename... Arguments>
    explicit StandaloneObject(Arguments&&... arguments)
        : Class(std::forward<Arguments>(arguments)...) {
        LockModule();
    }
    ~StandaloneObject() { UnlockModule(); }

    STDMETHODIMP QueryInterface(REFIID iid, void** out) override {
        return Class::Interfaces().Query(static_cast<Class*>(this), iid, out);
    }
    STDMETHODIMP_(ULONG) AddRef() override { return references_.AddRef(); }
    STDMETHODIMP_(ULONG) Release() override { return references_.Release(this); }

private:
    ReferenceCount references_;
};

// An object of Class that is part of an outer object: its own IUnknown methods delegate to
// the outer, and only the outer holds the inner IUnknown, which counts the references.
template <typename Class>
class AggregatedObject final : public Class {
public:
    template <typename... Arguments>
    explicit AggregatedObject(IUnknown* outer, Arguments&&... arguments)
        : Class(std::forward<Arguments>(arguments)...), outer_(outer), inner_(*this) {
        LockModule();
    }
    ~AggregatedObject() { UnlockModule(); }

    // Not counted: the outer owns this object, never the other way round.
    IUnknown* Inner() noexcept { return &inner_; }

    STDMETHODIMP QueryInterface(REFIID iid, void** out) override {
        return outer_->QueryInterface(iid, out);
    }
    STDMETHODIMP_(ULONG) AddRef() override { return outer_->AddRef(); }
    STDMETHODIMP_(ULONG) Release() override { return outer_->Release(); }

private:
    class InnerUnknown final : public IUnknown {
    public:
        explicit InnerUnknown(AggregatedObject& owner) noexcept : owner_(owner) {}

        STDMETHODIMP QueryInterface(REFIID iid, void** out) override {
            if (!out) return E_POINTER;
            if (IsEqualIID(iid, IID_IUnknown)) {
                *out = static_cast<IUnknown*>(this);
                AddRef();
                return S_OK;
            }
            // The interface's AddRef goes to the outer, as the aggregation rules ask.
            return Class::Interfaces().Query(static_cast<Class*>(&owner_), iid, out);
        }
        STDMETHODIMP_(ULONG) AddRef() override { return references_.AddRef(); }
        STDMETHODIMP_(ULONG) Release() override { return references_.Release(&owner_); }

    private:
        AggregatedObject& owner_;
        ReferenceCount references_;
    };

    IUnknown* outer_;
    InnerUnknown inner_;
};

// Creates an object of Class and asks it for iid. With an outer object the object is
// aggregated and only IID_IUnknown may be asked (CLASS_E_NOAGGREGATION otherwise); *out then
// receives the inner IUnknown. No exception leaves: a throwing constructor gives
// E_OUTOFMEMORY or E_UNEXPECTED.
template <typename Class, typename... Arguments>
HRESULT CreateComInstance(IUnknown* outer, REFIID iid, void** out,
                          Arguments&&... arguments) noexcept {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (outer && !IsEqualIID(iid, IID_IUnknown)) return CLASS_E_NOAGGREGATION;
    try {
        if (outer) {
            auto* object =
                new AggregatedObject<Class>(outer, std::forward<Arguments>(arguments)...);
            return object->Inner()->QueryInterface(IID_IUnknown, out);
        }
        auto* object = new StandaloneObject<Class>(std::forward<Arguments>(arguments)...);
        object->AddRef();
        const HRESULT result = object->QueryInterface(iid, out);
        object->Release();
        return result;
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    } catch (...) {
        return E_UNEXPECTED;
    }
}

}  // namespace framework
