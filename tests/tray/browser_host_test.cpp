// The pop-up's browser control host with the real WebBrowser control: what it keeps when the
// control cannot start, and the login page it goes to once it can.
#include "tests/support/http_peer.h"  // winsock2.h must come before windows.h
#include "tests/support/service_wire.h"

#include "tray/browser_host.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "common/settings.h"
#include "framework/window/ax_host.h"
#include "framework/window/window.h"
#include "tests/support/message_wait.h"
#include "tests/support/registry_sandbox.h"
#include "tests/support/settings_paths.h"

using testing_support::kLoginPath;

namespace {

class ParentWindow : public framework::CWindowImpl<ParentWindow> {
public:
    BEGIN_MSG_MAP(ParentWindow)
    END_MSG_MAP()
};

int ChildCount(HWND parent) {
    int count = 0;
    for (HWND child = GetWindow(parent, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        ++count;
    }
    return count;
}

// Each case runs on a thread of its own, so that its COM state is its own.
template <typename Body>
void OnFreshThread(Body body) {
    std::thread thread(body);
    thread.join();
}

TEST(BrowserHost, ControlThatCannotStartLeavesNoHostAndALaterCallTriesAgain) {
    testing_support::RegistrySandbox sandbox;
    testing_support::HttpPeer peer;
    testing_support::ScriptedReply page;
    page.body = "<html>login</html>";
    peer.Route(kLoginPath, page);
    common::WriteRegistryString(HKEY_CURRENT_USER, testing_support::kSettingsPath, "Tavrello",
                                peer.BaseUrl().c_str());

    OnFreshThread([&] {
        ASSERT_TRUE(framework::AtlAxWinInit());
        ParentWindow parent;
        ASSERT_TRUE(parent.Create(nullptr, RECT{0, 0, 400, 300}, "browser parent",
                                  WS_POPUP | WS_CLIPCHILDREN));
        auto host = std::make_unique<tray::CBrowserHost>();

        // Without COM on the thread the control cannot be created.
        host->CreateBrowser(parent, 400, 300);
        EXPECT_FALSE(host->HasBrowser());
        EXPECT_EQ(host->HostWindow(), nullptr);
        EXPECT_EQ(ChildCount(parent), 0) << "no empty host window is left behind";
        EXPECT_EQ(host->BaseUrl(), peer.BaseUrl()) << "the settings are read all the same";

        ASSERT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_OK);
        host->CreateBrowser(parent, 400, 300);
        EXPECT_TRUE(host->HasBrowser());
        ASSERT_NE(host->HostWindow(), nullptr);
        EXPECT_EQ(GetParent(host->HostWindow()), parent.Handle());
        EXPECT_EQ(ChildCount(parent), 1);
        char windowClass[32] = {};
        GetClassNameA(host->HostWindow(), windowClass, sizeof windowClass);
        EXPECT_STREQ(windowClass, framework::kAxHostWindowClass);
        EXPECT_TRUE(framework::HostedControl(host->HostWindow()));
        EXPECT_TRUE(testing_support::WaitUntil([&] {
            return !peer.RequestsTo(kLoginPath).empty();
        })) << "the control goes to the login page once it exists";

        // The window goes first, the browser reference after it, and COM last.
        parent.DestroyWindow();
        host.reset();
        CoUninitialize();
    });
    const auto requests = peer.RequestsTo(kLoginPath);
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].method, "GET");
}

// Wine's control fails every Refresh, so the real control stands in here with three slots of its
// IWebBrowser2 table replaced for the case: Refresh answers as the row says, Navigate and
// LocationURL record and report without a network.
namespace spy {
HRESULT refreshResult = S_OK;
int refreshes = 0;
std::vector<std::wstring> navigations;
HRESULT STDMETHODCALLTYPE Refresh(IWebBrowser2*) {
    ++refreshes;
    return refreshResult;
}
HRESULT STDMETHODCALLTYPE Navigate(IWebBrowser2*, BSTR url, VARIANT*, VARIANT*, VARIANT*,
                                   VARIANT*) {
    navigations.emplace_back(url);
    return S_OK;
}
HRESULT STDMETHODCALLTYPE LocationUrl(IWebBrowser2*, BSTR* url) {
    *url = SysAllocString(L"http://127.0.0.1:9/list");
    return S_OK;
}
}  // namespace spy

// One slot of a (shared, read-only) interface table, replaced for its lifetime.
class SlotPatch {
public:
    SlotPatch(IUnknown* object, int slot, void* replacement)
        : slot_(*reinterpret_cast<void***>(object) + slot) {
        VirtualProtect(slot_, sizeof *slot_, PAGE_EXECUTE_READWRITE, &protection_);
        original_ = *slot_;
        *slot_ = replacement;
    }
    ~SlotPatch() {
        *slot_ = original_;
        VirtualProtect(slot_, sizeof *slot_, protection_, &protection_);
    }
    SlotPatch(const SlotPatch&) = delete;
    SlotPatch& operator=(const SlotPatch&) = delete;

private:
    void** slot_;
    void* original_ = nullptr;
    DWORD protection_ = 0;
};

TEST(BrowserHost, RefreshLoadsTheAddressAgainOnlyWhereTheControlsRefreshFails) {
    testing_support::RegistrySandbox sandbox;
    for (const HRESULT result : {S_OK, E_FAIL}) {
        SCOPED_TRACE(result);
        OnFreshThread([&] {
            ASSERT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_OK);
            ASSERT_TRUE(framework::AtlAxWinInit());
            {
                framework::ComPtr<IWebBrowser2> table;
                ASSERT_EQ(CoCreateInstance(CLSID_WebBrowser, nullptr, CLSCTX_INPROC_SERVER,
                                           IID_IWebBrowser2, table.ReceiveVoid()),
                          S_OK);
                // IUnknown and IDispatch take slots 0 to 6; Navigate, Refresh and LocationURL
                // follow at 11, 12 and 30.
                SlotPatch navigate(table.Get(), 11, reinterpret_cast<void*>(&spy::Navigate));
                SlotPatch refresh(table.Get(), 12, reinterpret_cast<void*>(&spy::Refresh));
                SlotPatch location(table.Get(), 30, reinterpret_cast<void*>(&spy::LocationUrl));
                spy::refreshResult = result;
                spy::refreshes = 0;
                ASSERT_EQ(table->Refresh(), result) << "the slots are the ones named";

                ParentWindow parent;
                ASSERT_TRUE(parent.Create(nullptr, RECT{0, 0, 400, 300}, "browser parent",
                                          WS_POPUP | WS_CLIPCHILDREN));
                tray::CBrowserHost host;
                host.CreateBrowser(parent, 400, 300);
                ASSERT_TRUE(host.HasBrowser());
                spy::navigations.clear();
                spy::refreshes = 0;
                host.Refresh();
                EXPECT_EQ(spy::refreshes, 1);
                const std::vector<std::wstring> reloaded = {L"http://127.0.0.1:9/list"};
                EXPECT_EQ(spy::navigations,
                          SUCCEEDED(result) ? std::vector<std::wstring>() : reloaded);
                parent.DestroyWindow();
            }
            CoUninitialize();
        });
    }
}

}  // namespace
