// The control host window with the real WebBrowser control, navigating to the local HTTP peer.
#include "tests/support/http_peer.h"  // winsock2.h must come before windows.h
#include "tests/support/service_wire.h"

#include "framework/window/ax_host.h"

#include <exdisp.h>
#include <gtest/gtest.h>
#include <mshtmhst.h>

#include <string>
#include <utility>

#include "framework/window/ui_handles.h"
#include "framework/window/window.h"
#include "tests/support/message_wait.h"

using testing_support::kLoginPath;

namespace {

constexpr char kWebBrowserClsid[] = "{8856f961-340a-11d0-a96b-00c04fd705a2}";

class ParentWindow : public framework::CWindowImpl<ParentWindow> {
public:
    BEGIN_MSG_MAP(ParentWindow)
    END_MSG_MAP()
};

class ControlHost : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_OK);
        comReady_ = true;
        ASSERT_TRUE(framework::AtlAxWinInit());
        ASSERT_TRUE(parent_.Create(nullptr, RECT{0, 0, 500, 400}, "host parent",
                                   WS_OVERLAPPEDWINDOW | WS_VISIBLE));
    }
    void TearDown() override {
        parent_.DestroyWindow();
        if (comReady_) CoUninitialize();
    }

    framework::WindowHandle CreateHost(const char* text, int width = 300, int height = 200) {
        return framework::WindowHandle(
            CreateWindowExA(0, framework::kAxHostWindowClass, text,
                            WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | WS_CLIPCHILDREN, 0, 0, width,
                            height, parent_, nullptr, GetModuleHandleA(nullptr), nullptr));
    }

    bool comReady_ = false;
    ParentWindow parent_;
};

TEST_F(ControlHost, RegisteredMessageAndClassAreTheWellKnownOnes) {
    EXPECT_EQ(framework::AtlAxGetControlMessage(), RegisterWindowMessageA("WM_ATLGETCONTROL"));
    WNDCLASSEXA info = {};
    info.cbSize = sizeof info;
    EXPECT_TRUE(GetClassInfoExA(GetModuleHandleA(nullptr), "AtlAxWin71", &info));
    EXPECT_TRUE(framework::AtlAxWinInit()) << "a second initialisation is harmless";
}

TEST_F(ControlHost, WebBrowserIsCreatedFromTheWindowTextAndNavigates) {
    testing_support::HttpPeer peer;
    testing_support::ScriptedReply page;
    page.body = "<html><body>login</body></html>";
    peer.Route(kLoginPath, page);

    framework::WindowHandle host = CreateHost(kWebBrowserClsid);
    ASSERT_TRUE(host);
    const LRESULT answer = SendMessageA(host.Get(), framework::AtlAxGetControlMessage(), 0, 0);
    ASSERT_NE(answer, 0);
    // The answer is a reference of the caller's own.
    framework::ComPtr<IUnknown> control =
        framework::ComPtr<IUnknown>::Attach(reinterpret_cast<IUnknown*>(answer));
    framework::ComPtr<IWebBrowser2> browser;
    ASSERT_EQ(control.QueryInterface(browser), S_OK);

    const std::string url = peer.BaseUrl() + "zephlist/login.php";
    const std::wstring wideUrl(url.begin(), url.end());
    BSTR target = SysAllocString(wideUrl.c_str());
    EXPECT_TRUE(SUCCEEDED(browser->Navigate(target, nullptr, nullptr, nullptr, nullptr)));
    SysFreeString(target);

    ASSERT_TRUE(testing_support::WaitUntil([&] { return peer.RequestCount() >= 1; }));
    const auto requests = peer.RequestsTo(kLoginPath);
    ASSERT_FALSE(requests.empty());
    EXPECT_EQ(requests[0].method, "GET");
    EXPECT_EQ(requests[0].target, kLoginPath);
}

// The control's own window is the host's child; it follows the host's size.
HWND ControlWindowOf(HWND host) {
    return GetWindow(host, GW_CHILD);
}

TEST_F(ControlHost, ControlIsActivatedInPlaceAndFollowsTheHostsSize) {
    framework::WindowHandle host = CreateHost(kWebBrowserClsid, 300, 200);
    ASSERT_TRUE(host);
    const HWND controlWindow = ControlWindowOf(host.Get());
    ASSERT_TRUE(controlWindow) << "in-place activation gives the control a window in the host";
    RECT area = {};
    GetClientRect(controlWindow, &area);
    EXPECT_EQ(area.right - area.left, 300);
    EXPECT_EQ(area.bottom - area.top, 200);

    const int sizes[][2] = {{420, 310}, {120, 90}};
    for (const auto& size : sizes) {
        MoveWindow(host.Get(), 0, 0, size[0], size[1], TRUE);
        GetWindowRect(controlWindow, &area);
        EXPECT_EQ(area.right - area.left, size[0]);
        EXPECT_EQ(area.bottom - area.top, size[1]);
    }
}

// The document-host handler the control finds on its client site.
framework::ComPtr<IDocHostUIHandler> DocHostOf(HWND host) {
    framework::ComPtr<IOleObject> object;
    framework::ComPtr<IOleClientSite> site;
    framework::ComPtr<IDocHostUIHandler> handler;
    if (framework::HostedControl(host).QueryInterface(object) == S_OK &&
        SUCCEEDED(object->GetClientSite(site.Receive())) && site) {
        site.QueryInterface(handler);
    }
    return handler;
}

TEST_F(ControlHost, HostTellsTheControlItsDpiAwarenessAndLeavesTheRestToIt) {
    // Windows take the DPI awareness of the thread that makes them (Windows 10 and later).
    using SetAwareness = HANDLE(WINAPI*)(HANDLE);
    const auto setAwareness = reinterpret_cast<SetAwareness>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleA("user32.dll"), "SetThreadDpiAwarenessContext")));
    if (!setAwareness) GTEST_SKIP() << "no per-window DPI awareness here";
    // DPI_AWARENESS_CONTEXT unaware, system aware, per monitor v2.
    const std::pair<INT_PTR, DWORD> cases[] = {
        {-1, 0}, {-2, DOCHOSTUIFLAG_DPI_AWARE}, {-4, DOCHOSTUIFLAG_DPI_AWARE}};
    for (const auto& [awareness, flags] : cases) {
        SCOPED_TRACE(awareness);
        const HANDLE before = setAwareness(reinterpret_cast<HANDLE>(awareness));
        ParentWindow parent;
        parent.Create(nullptr, RECT{0, 0, 300, 200}, "dpi parent", WS_POPUP);
        framework::WindowHandle host(
            CreateWindowExA(0, framework::kAxHostWindowClass, kWebBrowserClsid, WS_CHILD, 0, 0, 300,
                            200, parent, nullptr, GetModuleHandleA(nullptr), nullptr));
        setAwareness(before);
        const framework::ComPtr<IDocHostUIHandler> handler = DocHostOf(host.Get());
        ASSERT_TRUE(handler);
        DOCHOSTUIINFO info = {sizeof info, 0xFFFFFFFF, 0, nullptr, nullptr};
        ASSERT_EQ(handler->GetHostInfo(&info), S_OK);
        EXPECT_EQ(info.dwFlags, flags);
        // Context menu and drop target stay the control's own.
        POINT point = {};
        EXPECT_EQ(handler->ShowContextMenu(0, &point, nullptr, nullptr), S_FALSE);
        IDropTarget* dropTarget = reinterpret_cast<IDropTarget*>(1);
        EXPECT_EQ(handler->GetDropTarget(nullptr, &dropTarget), E_NOTIMPL);
        EXPECT_EQ(dropTarget, nullptr);
        host.Reset();
        parent.DestroyWindow();
    }
}

TEST_F(ControlHost, TextThatNamesNoControlGivesAnEmptyHost) {
    const char* const texts[] = {
        "{00000000-1111-2222-3333-444444444444}",  // well formed, not registered
        "{not a class id}",
        "No.Such.ProgId",
        "",
    };
    for (const char* text : texts) {
        framework::WindowHandle host = CreateHost(text);
        ASSERT_TRUE(host) << text;
        EXPECT_EQ(SendMessageA(host.Get(), framework::AtlAxGetControlMessage(), 0, 0), 0) << text;
        IUnknown* control = reinterpret_cast<IUnknown*>(1);
        EXPECT_EQ(framework::AtlAxGetControl(host.Get(), &control), E_FAIL) << text;
        EXPECT_EQ(control, nullptr) << text;
        EXPECT_FALSE(framework::HostedControl(host.Get())) << text;
        // Sizing an empty host does no harm.
        MoveWindow(host.Get(), 0, 0, 50, 60, TRUE);
    }
}

TEST_F(ControlHost, DestroyingTheHostReleasesTheControl) {
    framework::WindowHandle host = CreateHost(kWebBrowserClsid);
    ASSERT_TRUE(host);
    framework::ComPtr<IUnknown> control = framework::HostedControl(host.Get());
    ASSERT_TRUE(control);
    // While hosted, the control holds more than the one reference handed to this test.
    IUnknown* raw = control.Detach();
    raw->AddRef();
    EXPECT_GT(raw->Release(), 1u);

    host.Reset();
    EXPECT_EQ(raw->Release(), 0u) << "the host kept references to the control";
}

TEST_F(ControlHost, TwoHostsHoldControlsOfTheirOwn) {
    framework::WindowHandle first = CreateHost(kWebBrowserClsid);
    framework::WindowHandle second = CreateHost(kWebBrowserClsid);
    ASSERT_TRUE(first);
    ASSERT_TRUE(second);
    framework::ComPtr<IUnknown> firstControl = framework::HostedControl(first.Get());
    framework::ComPtr<IUnknown> secondControl = framework::HostedControl(second.Get());
    ASSERT_TRUE(firstControl);
    ASSERT_TRUE(secondControl);
    EXPECT_NE(firstControl.Get(), secondControl.Get());
    first.Reset();
    EXPECT_TRUE(framework::HostedControl(second.Get())) << "the other host keeps its control";
}

}  // namespace
