// A stand-in for the browser: creates the plug-in's command object by its class identifier,
// hands it a site that leads to a page with the address and title given on the command line,
// and invokes the command once, as a click on the browser button does.
//
//   TestBrowser.exe <address> <title>
//
// Prints what the object answered and exits with 0 when Exec returned S_OK, 1 when it failed,
// 2 on a usage error and 3 when the object could not be created (not registered?).
#include <windows.h>
#include <docobj.h>
#include <ocidl.h>
#include <shellapi.h>

#include <cstdio>
#include <string>

#include "Corvane.h"
#include "framework/com/com_ptr.h"
#include "tools/test_browser/browser_site.h"

namespace {

class ComApartment {
public:
    ComApartment() : result_(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)) {}
    ~ComApartment() {
        if (SUCCEEDED(result_)) CoUninitialize();
    }
    HRESULT Result() const { return result_; }

private:
    HRESULT result_;
};

struct Arguments {
    std::wstring url;
    std::wstring title;
};

bool ParseArguments(Arguments& arguments) {
    int count = 0;
    LPWSTR* words = CommandLineToArgvW(GetCommandLineW(), &count);
    if (!words) return false;
    const bool ok = count == 3;
    if (ok) {
        arguments.url = words[1];
        arguments.title = words[2];
    }
    LocalFree(words);
    return ok;
}

int RunCommand(const Arguments& arguments) {
    framework::ComPtr<IOleCommandTarget> command;
    HRESULT result = CoCreateInstance(CLSID_CTavrelloIE, nullptr, CLSCTX_INPROC_SERVER,
                                      IID_IOleCommandTarget, command.ReceiveVoid());
    if (FAILED(result)) {
        std::printf("CoCreateInstance: 0x%08lX\n", static_cast<unsigned long>(result));
        return 3;
    }
    OLECMD status = {0, 0};
    result = command->QueryStatus(nullptr, 1, &status, nullptr);
    std::printf("QueryStatus: 0x%08lX, flags %lu\n", static_cast<unsigned long>(result),
                static_cast<unsigned long>(status.cmdf));

    test_browser::PageInfo page;
    page.url = arguments.url;
    page.title = arguments.title;
    framework::ComPtr<IWebBrowser2> browser;
    framework::ComPtr<IUnknown> site;
    if (FAILED(test_browser::CreateWebBrowser(page, nullptr, browser.Receive())) ||
        FAILED(test_browser::CreateSite(test_browser::SiteDepth::Full, browser.Get(), nullptr,
                                        site.Receive()))) {
        return 3;
    }
    framework::ComPtr<IObjectWithSite> withSite;
    if (FAILED(command.QueryInterface(withSite))) return 3;
    withSite->SetSite(site.Get());
    result = command->Exec(nullptr, 0, OLECMDEXECOPT_DODEFAULT, nullptr, nullptr);
    std::printf("Exec: 0x%08lX\n", static_cast<unsigned long>(result));
    withSite->SetSite(nullptr);
    return result == S_OK ? 0 : 1;
}

}  // namespace

int main() {
    Arguments arguments;
    if (!ParseArguments(arguments)) {
        std::printf("usage: TestBrowser.exe <address> <title>\n");
        return 2;
    }
    ComApartment apartment;
    if (FAILED(apartment.Result())) return 3;
    const int exitCode = RunCommand(arguments);
    std::fflush(stdout);
    return exitCode;
}
