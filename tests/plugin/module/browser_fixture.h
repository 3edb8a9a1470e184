// The browser's side for the command tests: Corvane.dll registered in the prefix and loaded,
// its settings pointing at a local HTTP peer that plays the service, and helpers that create
// the command object through COM and hand it a site.
#pragma once

#include <winsock2.h>
#include <windows.h>
#include <docobj.h>
#include <ocidl.h>

#include <memory>
#include <string>

#include "Corvane.h"
#include "framework/com/com_ptr.h"
#include "tests/plugin/module/corvane_fixture.h"
#include "tests/support/http_peer.h"
#include "tests/support/service_wire.h"
#include "tools/test_browser/browser_site.h"

namespace module_testing {

using testing_support::kAddUrlPath;
using testing_support::kCategoriesPath;
constexpr char kEmail[] = "tom@cartoons.test";
constexpr char kPassword[] = "cheese & crackers";
// The add-favorite dialog's caption.
constexpr wchar_t kAddCaption[] = L"Add to Tavrello.com";

// Set up once per test process, before the first test: the settings are read when the DLL is
// loaded, so the peer's address must be in them by then.
class BrowserEnvironment {
public:
    static BrowserEnvironment& Get();

    testing_support::HttpPeer& Peer() { return *peer_; }
    const CorvaneLibrary& Library() const { return *library_; }
    DWORD RegistrationExitCode() const { return registration_->ExitCode(); }

    void Start();
    void Stop();

private:
    std::unique_ptr<testing_support::HttpPeer> peer_;
    std::unique_ptr<class SettingsSandbox> settings_;
    std::unique_ptr<PrefixRegistration> registration_;
    std::unique_ptr<CorvaneLibrary> library_;
};

// A command object created by the browser's way: CoCreateInstance by the class identifier.
framework::ComPtr<IOleCommandTarget> CreateCommand();

// A page behind a full site, ready for SetSite.
struct BrowserPage {
    explicit BrowserPage(const test_browser::PageInfo& page,
                         test_browser::SiteDepth depth = test_browser::SiteDepth::Full);

    test_browser::BrowserLog log;
    framework::ComPtr<IWebBrowser2> browser;
    framework::ComPtr<IUnknown> site;
};

HRESULT SetSite(IOleCommandTarget* command, IUnknown* site);
HRESULT Exec(IOleCommandTarget* command, const GUID* group = nullptr, DWORD id = 0);

// Number of add requests the peer has seen so far.
size_t AddRequestCount();

}  // namespace module_testing
