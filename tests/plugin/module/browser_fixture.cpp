#include "tests/plugin/module/browser_fixture.h"

#include <gtest/gtest.h>

#include "tests/support/registry_sandbox.h"

namespace module_testing {

class SettingsSandbox {
public:
    explicit SettingsSandbox(const std::string& baseUrl) {
        const std::string path = "Software\\Orvek\\Tavrello";
        testing_support::SetRawValue(HKEY_CURRENT_USER, path, "email", REG_SZ,
                                     std::string(kEmail) + '\0');
        testing_support::SetRawValue(HKEY_CURRENT_USER, path, "password", REG_SZ,
                                     std::string(kPassword) + '\0');
        testing_support::SetRawValue(HKEY_CURRENT_USER, path, "Tavrello", REG_SZ, baseUrl + '\0');
    }

private:
    testing_support::RegistrySandbox user_{HKEY_CURRENT_USER};
};

BrowserEnvironment& BrowserEnvironment::Get() {
    static BrowserEnvironment environment;
    return environment;
}

void BrowserEnvironment::Start() {
    peer_ = std::make_unique<testing_support::HttpPeer>();
    testing_support::RouteAcceptingService(*peer_, "12 Work\n7 Fun\n");
    settings_ = std::make_unique<SettingsSandbox>(peer_->BaseUrl());
    registration_ = std::make_unique<PrefixRegistration>();
    // Loaded before COM loads it, so that it stays for the whole run and its settings are the
    // sandbox's.
    library_ = std::make_unique<CorvaneLibrary>();
}

void BrowserEnvironment::Stop() {
    library_.reset();
    registration_.reset();
    settings_.reset();
    peer_.reset();
}

framework::ComPtr<IOleCommandTarget> CreateCommand() {
    framework::ComPtr<IOleCommandTarget> command;
    const HRESULT result = CoCreateInstance(CLSID_CTavrelloIE, nullptr, CLSCTX_INPROC_SERVER,
                                            IID_IOleCommandTarget, command.ReceiveVoid());
    EXPECT_EQ(result, S_OK);
    return command;
}

BrowserPage::BrowserPage(const test_browser::PageInfo& page, test_browser::SiteDepth depth) {
    EXPECT_EQ(test_browser::CreateWebBrowser(page, &log, browser.Receive()), S_OK);
    EXPECT_EQ(test_browser::CreateSite(depth, browser.Get(), &log, site.Receive()), S_OK);
}

HRESULT SetSite(IOleCommandTarget* command, IUnknown* site) {
    framework::ComPtr<IObjectWithSite> withSite;
    const HRESULT result = command->QueryInterface(IID_IObjectWithSite, withSite.ReceiveVoid());
    if (FAILED(result)) return result;
    return withSite->SetSite(site);
}

HRESULT Exec(IOleCommandTarget* command, const GUID* group, DWORD id) {
    return command->Exec(group, id, OLECMDEXECOPT_DODEFAULT, nullptr, nullptr);
}

size_t AddRequestCount() {
    return BrowserEnvironment::Get().Peer().RequestsTo(kAddUrlPath).size();
}

}  // namespace module_testing
