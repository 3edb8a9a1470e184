// CTavrelloIE: the object the browser creates for the plug-in's command. It keeps the site the
// browser hands it and, when the command is invoked, reads the address and title of the page
// shown and gives them to the process's service client.
#pragma once

#include <docobj.h>
#include <ocidl.h>
#include <servprov.h>

#include "Corvane.h"
#include "framework/com/com_object.h"
#include "framework/com/com_ptr.h"

namespace plugin {

class CommandGate;

// The command's gate, shared by every object of the process (plugin/module/command_gate.h).
CommandGate& TavrelloCommandGate() noexcept;

class CTavrelloIE : public ITavrelloIE,
                    public IObjectWithSite,
                    public IOleCommandTarget,
                    public IProvideClassInfo {
public:
    CTavrelloIE() = default;
    virtual ~CTavrelloIE() = default;
    CTavrelloIE(const CTavrelloIE&) = delete;
    CTavrelloIE& operator=(const CTavrelloIE&) = delete;

    static framework::InterfaceTable Interfaces();

    // IDispatch through ITavrelloIE: there are no members to call.
    STDMETHODIMP GetTypeInfoCount(UINT* count) override;
    STDMETHODIMP GetTypeInfo(UINT index, LCID locale, ITypeInfo** out) override;
    STDMETHODIMP GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID locale,
                               DISPID* ids) override;
    STDMETHODIMP Invoke(DISPID member, REFIID iid, LCID locale, WORD flags, DISPPARAMS* parameters,
                        VARIANT* result, EXCEPINFO* exception, UINT* argumentError) override;

    // IObjectWithSite
    STDMETHODIMP SetSite(IUnknown* site) override;
    STDMETHODIMP GetSite(REFIID iid, void** out) override;

    // IOleCommandTarget: every command is the add-page command.
    STDMETHODIMP QueryStatus(const GUID* group, ULONG count, OLECMD commands[],
                             OLECMDTEXT* text) override;
    STDMETHODIMP Exec(const GUID* group, DWORD id, DWORD options, VARIANT* in,
                      VARIANT* out) override;

    // IProvideClassInfo
    STDMETHODIMP GetClassInfo(ITypeInfo** out) override;

private:
    HRESULT RunAddPage() noexcept;

    framework::ComPtr<IUnknown> site_;
};

}  // namespace plugin
