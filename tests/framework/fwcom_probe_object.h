// COM classes for the framework tests: each counts its live instances, so a test sees exactly
// when the framework destroys one.
#pragma once

#include <ocidl.h>

#include <stdexcept>

#include "framework/com/com_object.h"
#include "fwcom_probe.h"

namespace probe {

// Live objects of every probe class together.
LONG LiveObjects();

class Counted {
protected:
    Counted();
    ~Counted();
};

// The dual probe interface first (also answering IDispatch), then a site holder and IPersist.
class CProbe : public IFrameworkProbe, public IObjectWithSite, public IPersist, Counted {
public:
    static framework::InterfaceTable Interfaces();

    // IDispatch: the probe has no type information of its own to hand out.
    STDMETHODIMP GetTypeInfoCount(UINT* count) override;
    STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo**) override;
    STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override;
    STDMETHODIMP Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*,
                        UINT*) override;
    // IFrameworkProbe
    STDMETHODIMP Ping(LONG* answer) override;
    // IObjectWithSite
    STDMETHODIMP SetSite(IUnknown* site) override;
    STDMETHODIMP GetSite(REFIID iid, void** out) override;
    // IPersist
    STDMETHODIMP GetClassID(CLSID* clsid) override;

    static constexpr LONG kPingAnswer = 42;
};

// The same kind of object with another table order: its identity is the site holder.
class CSiteFirstProbe : public IPersist, public IObjectWithSite, Counted {
public:
    static framework::InterfaceTable Interfaces();

    STDMETHODIMP SetSite(IUnknown* site) override;
    STDMETHODIMP GetSite(REFIID iid, void** out) override;
    STDMETHODIMP GetClassID(CLSID* clsid) override;
};

// A class whose constructor fails.
class CFailingProbe : public IPersist, Counted {
public:
    CFailingProbe() { throw std::runtime_error("construction fails"); }
    static framework::InterfaceTable Interfaces();
    STDMETHODIMP GetClassID(CLSID* clsid) override;
};

}  // namespace probe
