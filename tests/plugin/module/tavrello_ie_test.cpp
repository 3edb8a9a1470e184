// CTavrelloIE driven the way the browser drives it: created through COM by its class
// identifier after a real registration, given a site, asked for its status and invoked. The
// dialogs are real and a simulated user answers them; the service is a local HTTP peer.
#include <gtest/gtest.h>

#include "tests/plugin/module/browser_fixture.h"

#include <exdisp.h>
#include <servprov.h>
#include <shlguid.h>

#include <atomic>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "resources/plugin/resource.h"
#include "tests/support/simulated_user.h"

namespace {

using dialog_testing::SimulatedUser;
using dialog_testing::UserSession;
using module_testing::BrowserEnvironment;
using module_testing::BrowserPage;
using module_testing::CreateCommand;
using module_testing::Exec;
using module_testing::SetSite;
using test_browser::PageInfo;
using test_browser::SiteDepth;

class Environment : public ::testing::Environment {
public:
    void SetUp() override {
        ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
        BrowserEnvironment::Get().Start();
        ASSERT_EQ(BrowserEnvironment::Get().RegistrationExitCode(), 0u) << "regsvr32";
        ASSERT_TRUE(BrowserEnvironment::Get().Library().Loaded());
    }
    void TearDown() override {
        BrowserEnvironment::Get().Stop();
        CoUninitialize();
    }
};

::testing::Environment* const environment = ::testing::AddGlobalTestEnvironment(new Environment);

PageInfo Page(const std::wstring& url, const std::wstring& title) {
    PageInfo page;
    page.url = url;
    page.title = title;
    return page;
}

// --- interfaces ------------------------------------------------------------------------------

TEST(CommandObject, AnswersItsFourInterfacesAndNothingElse) {
    framework::ComPtr<IOleCommandTarget> command = CreateCommand();
    ASSERT_TRUE(command);
    framework::ComPtr<IUnknown> identity;
    framework::ComPtr<ITavrelloIE> dual;
    framework::ComPtr<IDispatch> dispatch;
    ASSERT_EQ(command.QueryInterface(identity), S_OK);
    ASSERT_EQ(command.QueryInterface(dual), S_OK);
    ASSERT_EQ(command.QueryInterface(dispatch), S_OK);
    // The first entry of the table is the object's identity, and IDispatch is that same one.
    EXPECT_EQ(static_cast<void*>(identity.Get()), static_cast<void*>(dual.Get()));
    EXPECT_EQ(static_cast<void*>(dispatch.Get()), static_cast<void*>(dual.Get()));
    for (const IID* iid : {&IID_IObjectWithSite, &IID_IOleCommandTarget, &IID_IProvideClassInfo}) {
        framework::ComPtr<IUnknown> answer;
        EXPECT_EQ(command->QueryInterface(*iid, answer.ReceiveVoid()), S_OK);
        framework::ComPtr<IUnknown> backToIdentity;
        ASSERT_EQ(answer.QueryInterface(backToIdentity), S_OK);
        EXPECT_EQ(backToIdentity.Get(), identity.Get());
    }
    for (const IID* iid : {&IID_IPersist, &IID_IClassFactory, &IID_IServiceProvider,
                           &IID_IProvideClassInfo2, &IID_IWebBrowser2}) {
        void* answer = reinterpret_cast<void*>(1);
        EXPECT_EQ(command->QueryInterface(*iid, &answer), E_NOINTERFACE);
        EXPECT_EQ(answer, nullptr);
    }
}

TEST(CommandObject, QueryStatusOrsSupportedAndEnabledIntoTheFirstEntryOnly) {
    framework::ComPtr<IOleCommandTarget> command = CreateCommand();
    ASSERT_TRUE(command);
    const struct {
        const char* name;
        ULONG count;
        OLECMD before[3];
        OLECMD after[3];
    } cases[] = {
        {"count 0", 0, {{1, 0}, {2, 0}, {3, 0}}, {{1, 0}, {2, 0}, {3, 0}}},
        {"three entries", 3, {{1, 0}, {2, 0}, {3, 0}}, {{1, 3}, {2, 0}, {3, 0}}},
        {"latched kept",
         1,
         {{7, OLECMDF_LATCHED}, {2, 0}, {3, 0}},
         {{7, OLECMDF_LATCHED | 3}, {2, 0}, {3, 0}}},
        {"others untouched",
         3,
         {{9, 0}, {2, OLECMDF_NINCHED}, {3, OLECMDF_INVISIBLE}},
         {{9, 3}, {2, OLECMDF_NINCHED}, {3, OLECMDF_INVISIBLE}}},
    };
    for (const auto& c : cases) {
        OLECMD commands[3];
        std::copy(std::begin(c.before), std::end(c.before), commands);
        OLECMDTEXT text = {};
        text.cmdtextf = OLECMDTEXTF_NAME;
        text.cwBuf = 1;
        EXPECT_EQ(command->QueryStatus(&CGID_Explorer, c.count, commands, &text), S_OK) << c.name;
        for (int i = 0; i < 3; ++i) {
            EXPECT_EQ(commands[i].cmdID, c.after[i].cmdID) << c.name << " entry " << i;
            EXPECT_EQ(commands[i].cmdf, c.after[i].cmdf) << c.name << " entry " << i;
        }
        EXPECT_EQ(text.cwActual, 0u) << "no command text";
    }
}

TEST(CommandObject, GetSiteAnswersFromTheStoredSite) {
    framework::ComPtr<IOleCommandTarget> command = CreateCommand();
    framework::ComPtr<IObjectWithSite> withSite;
    ASSERT_EQ(command.QueryInterface(withSite), S_OK);

    EXPECT_EQ(withSite->GetSite(IID_IUnknown, nullptr), E_POINTER);
    void* out = reinterpret_cast<void*>(1);
    EXPECT_EQ(withSite->GetSite(IID_IServiceProvider, &out), E_FAIL);
    EXPECT_EQ(out, nullptr);

    BrowserPage page(Page(L"http://127.0.0.1:9/", L"t"));
    ASSERT_EQ(withSite->SetSite(page.site.Get()), S_OK);
    framework::ComPtr<IServiceProvider> provider;
    EXPECT_EQ(withSite->GetSite(IID_IServiceProvider, provider.ReceiveVoid()), S_OK);
    framework::ComPtr<IUnknown> providerIdentity;
    ASSERT_EQ(provider.QueryInterface(providerIdentity), S_OK);
    EXPECT_EQ(providerIdentity.Get(), page.site.Get());
    // Whatever the site answers, the object answers.
    out = reinterpret_cast<void*>(1);
    EXPECT_EQ(withSite->GetSite(IID_IWebBrowser2, &out), E_NOINTERFACE);
    EXPECT_EQ(out, nullptr);

    ASSERT_EQ(withSite->SetSite(nullptr), S_OK);
    EXPECT_EQ(withSite->GetSite(IID_IUnknown, &out), E_FAIL);
    EXPECT_EQ(out, nullptr);
}

TEST(CommandObject, HoldsOneReferenceToItsSite) {
    BrowserPage page(Page(L"http://127.0.0.1:9/", L"t"));
    const ULONG alone = test_browser::ReferenceCount(page.site.Get());
    {
        framework::ComPtr<IOleCommandTarget> command = CreateCommand();
        ASSERT_EQ(SetSite(command.Get(), page.site.Get()), S_OK);
        EXPECT_EQ(test_browser::ReferenceCount(page.site.Get()), alone + 1);
        ASSERT_EQ(SetSite(command.Get(), page.site.Get()), S_OK);
        EXPECT_EQ(test_browser::ReferenceCount(page.site.Get()), alone + 1) << "same site again";

        BrowserPage other(Page(L"http://127.0.0.1:9/", L"t"));
        ASSERT_EQ(SetSite(command.Get(), other.site.Get()), S_OK);
        EXPECT_EQ(test_browser::ReferenceCount(page.site.Get()), alone) << "old site released";
        ASSERT_EQ(SetSite(command.Get(), page.site.Get()), S_OK);
        EXPECT_EQ(test_browser::ReferenceCount(page.site.Get()), alone + 1);
    }
    EXPECT_EQ(test_browser::ReferenceCount(page.site.Get()), alone)
        << "the last Release lets go of the site";
}

TEST(CommandObject, DispatchHasNoMembersButItsTypeInformation) {
    framework::ComPtr<IOleCommandTarget> command = CreateCommand();
    framework::ComPtr<IDispatch> dispatch;
    ASSERT_EQ(command.QueryInterface(dispatch), S_OK);

    EXPECT_EQ(dispatch->GetTypeInfoCount(nullptr), E_POINTER);
    UINT count = 7;
    EXPECT_EQ(dispatch->GetTypeInfoCount(&count), S_OK);
    EXPECT_EQ(count, 1u);

    framework::ComPtr<ITypeInfo> info;
    EXPECT_EQ(dispatch->GetTypeInfo(1, 0, info.Receive()), DISP_E_BADINDEX);
    ASSERT_EQ(dispatch->GetTypeInfo(0, 0, info.Receive()), S_OK);
    TYPEATTR* attributes = nullptr;
    ASSERT_EQ(info->GetTypeAttr(&attributes), S_OK);
    EXPECT_TRUE(IsEqualGUID(attributes->guid, IID_ITavrelloIE));
    info->ReleaseTypeAttr(attributes);

    wchar_t name[] = L"AddPage";
    LPOLESTR names[] = {name};
    DISPID id = 0;
    EXPECT_EQ(dispatch->GetIDsOfNames(IID_NULL, names, 1, 0, &id), DISP_E_UNKNOWNNAME);
    EXPECT_EQ(id, DISPID_UNKNOWN);

    VARIANT argument;
    VariantInit(&argument);
    DISPPARAMS none = {nullptr, nullptr, 0, 0};
    DISPPARAMS one = {&argument, nullptr, 1, 0};
    EXPECT_EQ(dispatch->Invoke(1, IID_NULL, 0, DISPATCH_METHOD, nullptr, nullptr, nullptr, nullptr),
              DISP_E_BADVARTYPE);
    EXPECT_EQ(dispatch->Invoke(1, IID_NULL, 0, DISPATCH_METHOD, &one, nullptr, nullptr, nullptr),
              DISP_E_BADPARAMCOUNT);
    VARIANT result;
    result.vt = VT_I4;
    result.lVal = 5;
    EXPECT_EQ(
        dispatch->Invoke(0, IID_NULL, 0, DISPATCH_PROPERTYGET, &none, &result, nullptr, nullptr),
        DISP_E_MEMBERNOTFOUND);
    EXPECT_EQ(result.vt, VT_EMPTY);
    EXPECT_EQ(dispatch->Invoke(0, IID_NULL, 0, DISPATCH_METHOD, &none, nullptr, nullptr, nullptr),
              DISP_E_MEMBERNOTFOUND);
}

TEST(CommandObject, ClassInfoIsTheRegisteredCoclass) {
    framework::ComPtr<IOleCommandTarget> command = CreateCommand();
    framework::ComPtr<IProvideClassInfo> provider;
    ASSERT_EQ(command.QueryInterface(provider), S_OK);
    EXPECT_EQ(provider->GetClassInfo(nullptr), E_POINTER);
    framework::ComPtr<ITypeInfo> info;
    ASSERT_EQ(provider->GetClassInfo(info.Receive()), S_OK);
    TYPEATTR* attributes = nullptr;
    ASSERT_EQ(info->GetTypeAttr(&attributes), S_OK);
    EXPECT_EQ(attributes->typekind, TKIND_COCLASS);
    EXPECT_TRUE(IsEqualGUID(attributes->guid, CLSID_CTavrelloIE));
    info->ReleaseTypeAttr(attributes);
}

// --- module ----------------------------------------------------------------------------------

TEST(CorvaneModule, CanUnloadOnlyWhileNoObjectOrServerLockLives) {
    const module_testing::CorvaneLibrary& library = BrowserEnvironment::Get().Library();
    EXPECT_EQ(library.DllCanUnloadNow(), S_OK);
    framework::ComPtr<IOleCommandTarget> command = CreateCommand();
    ASSERT_TRUE(command);
    EXPECT_EQ(library.DllCanUnloadNow(), S_FALSE);
    command.Reset();
    EXPECT_EQ(library.DllCanUnloadNow(), S_OK);

    framework::ComPtr<IClassFactory> factory;
    ASSERT_EQ(
        library.DllGetClassObject(CLSID_CTavrelloIE, IID_IClassFactory, factory.ReceiveVoid()),
        S_OK);
    EXPECT_EQ(library.DllCanUnloadNow(), S_OK) << "the cached factory holds no lock";
    ASSERT_EQ(factory->LockServer(TRUE), S_OK);
    EXPECT_EQ(library.DllCanUnloadNow(), S_FALSE);
    ASSERT_EQ(factory->LockServer(FALSE), S_OK);
    EXPECT_EQ(library.DllCanUnloadNow(), S_OK);
}

TEST(CorvaneModule, HandsOutOneCachedFactoryForItsClassOnly) {
    const module_testing::CorvaneLibrary& library = BrowserEnvironment::Get().Library();
    framework::ComPtr<IClassFactory> first;
    framework::ComPtr<IClassFactory> second;
    ASSERT_EQ(library.DllGetClassObject(CLSID_CTavrelloIE, IID_IClassFactory, first.ReceiveVoid()),
              S_OK);
    ASSERT_EQ(library.DllGetClassObject(CLSID_CTavrelloIE, IID_IClassFactory, second.ReceiveVoid()),
              S_OK);
    EXPECT_EQ(first.Get(), second.Get());
    for (const CLSID* foreign :
         {&CLSID_StdGlobalInterfaceTable, &LIBID_CorvaneLib, &IID_ITavrelloIE}) {
        void* out = reinterpret_cast<void*>(1);
        EXPECT_EQ(library.DllGetClassObject(*foreign, IID_IClassFactory, &out),
                  CLASS_E_CLASSNOTAVAILABLE);
        EXPECT_EQ(out, nullptr);
    }
}

// An outer object that aggregates the command object and counts its own references.
class Outer final : public IUnknown {
public:
    STDMETHODIMP QueryInterface(REFIID iid, void** out) override {
        if (!out) return E_POINTER;
        if (IsEqualIID(iid, IID_IUnknown)) {
            *out = static_cast<IUnknown*>(this);
            AddRef();
            return S_OK;
        }
        return inner ? inner->QueryInterface(iid, out) : E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return static_cast<ULONG>(++references); }
    STDMETHODIMP_(ULONG) Release() override { return static_cast<ULONG>(--references); }

    LONG references = 1;
    IUnknown* inner = nullptr;
};

TEST(CorvaneModule, ClassIsAggregatable) {
    Outer outer;
    void* refused = reinterpret_cast<void*>(1);
    EXPECT_EQ(CoCreateInstance(CLSID_CTavrelloIE, &outer, CLSCTX_INPROC_SERVER,
                               IID_IOleCommandTarget, &refused),
              CLASS_E_NOAGGREGATION);
    EXPECT_EQ(refused, nullptr);

    ASSERT_EQ(CoCreateInstance(CLSID_CTavrelloIE, &outer, CLSCTX_INPROC_SERVER, IID_IUnknown,
                               reinterpret_cast<void**>(&outer.inner)),
              S_OK);
    EXPECT_EQ(BrowserEnvironment::Get().Library().DllCanUnloadNow(), S_FALSE);
    framework::ComPtr<IUnknown> innerIdentity;
    ASSERT_EQ(outer.inner->QueryInterface(IID_IUnknown, innerIdentity.ReceiveVoid()), S_OK);
    EXPECT_EQ(innerIdentity.Get(), outer.inner) << "the inner IUnknown answers itself";
    innerIdentity.Reset();

    const LONG before = outer.references;
    IOleCommandTarget* command = nullptr;
    ASSERT_EQ(outer.QueryInterface(IID_IOleCommandTarget, reinterpret_cast<void**>(&command)),
              S_OK);
    EXPECT_EQ(outer.references, before + 1) << "the interface counts on the outer object";
    IUnknown* identity = nullptr;
    ASSERT_EQ(command->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&identity)), S_OK);
    EXPECT_EQ(identity, static_cast<IUnknown*>(&outer)) << "its QueryInterface delegates";
    identity->Release();
    OLECMD status = {0, 0};
    EXPECT_EQ(command->QueryStatus(nullptr, 1, &status, nullptr), S_OK);
    EXPECT_EQ(status.cmdf, 3u);
    command->Release();
    EXPECT_EQ(outer.references, before);

    EXPECT_EQ(outer.inner->Release(), 0u);
    outer.inner = nullptr;
    EXPECT_EQ(BrowserEnvironment::Get().Library().DllCanUnloadNow(), S_OK);
}

// --- the command -------------------------------------------------------------------------------

TEST(BrowserCommand, EndsWithFailAndShowsNothingWhenTheBrowserIsOutOfReach) {
    const struct {
        const char* name;
        bool withSite;
        SiteDepth depth;
    } cases[] = {
        {"no site", false, SiteDepth::Full},
        {"site without service provider", true, SiteDepth::NoServiceProvider},
        {"no top-level browser", true, SiteDepth::NoTopLevelBrowser},
        {"no web browser", true, SiteDepth::NoWebBrowser},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        framework::ComPtr<IOleCommandTarget> command = CreateCommand();
        BrowserPage page(Page(L"http://127.0.0.1:9/", L"Title"), c.depth);
        if (c.withSite) {
            ASSERT_EQ(SetSite(command.Get(), page.site.Get()), S_OK);
        }
        const LONG referencesBefore = page.log.liveReferences;
        const size_t requestsBefore = BrowserEnvironment::Get().Peer().RequestCount();
        UserSession user([](SimulatedUser&) {});
        EXPECT_EQ(Exec(command.Get()), E_FAIL);
        EXPECT_EQ(user.LeftOpen(), 0) << "nothing shown";
        EXPECT_EQ(page.log.liveReferences, referencesBefore) << "every interface released";
        EXPECT_TRUE(page.log.reads.empty());
        EXPECT_EQ(BrowserEnvironment::Get().Peer().RequestCount(), requestsBefore);
    }
}

TEST(BrowserCommand, FailsAgainAfterTheSiteIsDropped) {
    framework::ComPtr<IOleCommandTarget> command = CreateCommand();
    BrowserPage page(Page(L"http://127.0.0.1:9/", L"Title"));
    ASSERT_EQ(SetSite(command.Get(), page.site.Get()), S_OK);
    ASSERT_EQ(SetSite(command.Get(), nullptr), S_OK);
    UserSession user([](SimulatedUser&) {});
    EXPECT_EQ(Exec(command.Get()), E_FAIL);
    EXPECT_EQ(user.LeftOpen(), 0);
}

// What the add-favorite dialog shows for one page.
struct ShownPage {
    std::string description;
    std::string address;
};

ShownPage RunAndCancel(IOleCommandTarget* command, const GUID* group, DWORD id, HRESULT& result) {
    ShownPage shown;
    UserSession user([&shown](SimulatedUser& person) {
        HWND dialog = person.WaitForDialog(module_testing::kAddCaption);
        if (!dialog) return;
        shown.description = SimulatedUser::Text(dialog, IDC_DESCRIPTION);
        shown.address = SimulatedUser::Text(dialog, IDC_PAGE_URL);
        person.ClickAndWaitClosed(dialog, IDCANCEL);
    });
    result = Exec(command, group, id);
    EXPECT_EQ(user.LeftOpen(), 0);
    return shown;
}

TEST(BrowserCommand, ShowsTheAddressAndTitleTheBrowserReports) {
    const GUID someGroup = {0x12345678, 0x1, 0x2, {3, 4, 5, 6, 7, 8, 9, 10}};
    const LCID russian = MAKELCID(MAKELANGID(LANG_RUSSIAN, SUBLANG_DEFAULT), SORT_DEFAULT);
    const struct {
        const char* name;
        PageInfo page;
        const GUID* group;
        DWORD id;
        LCID threadLocale;  // 0: as it is
        ShownPage expected;
    } cases[] = {
        {"plain page",
         Page(L"http://127.0.0.1:9/a?b=c&d=e", L"Plain"),
         nullptr,
         0,
         0,
         {"Plain", "http://127.0.0.1:9/a?b=c&d=e"}},
        {"any group and id",
         Page(L"http://127.0.0.1:9/x", L"X"),
         &someGroup,
         4711,
         0,
         {"X", "http://127.0.0.1:9/x"}},
        {"explorer group",
         Page(L"http://127.0.0.1:9/y", L"Y"),
         &CGID_Explorer,
         1,
         0,
         {"Y", "http://127.0.0.1:9/y"}},
        {"title call fails",
         [] {
             PageInfo page = Page(L"http://127.0.0.1:9/z", L"unused");
             page.titleFails = true;
             return page;
         }(),
         nullptr,
         0,
         0,
         {"", "http://127.0.0.1:9/z"}},
        {"address call fails",
         [] {
             PageInfo page = Page(L"unused", L"Only a title");
             page.urlFails = true;
             return page;
         }(),
         nullptr,
         0,
         0,
         {"Only a title", ""}},
        {"text in the thread's code page",
         Page(L"http://127.0.0.1:9/", L"Caf\u00e9 \u2014 Bar"),
         nullptr,
         0,
         0,
         {"Caf\xe9 \x97 Bar", "http://127.0.0.1:9/"}},
        // Cyrillic has the dash at the same place, and the e with acute only as its best fit.
        {"thread locale with another code page",
         Page(L"http://127.0.0.1:9/", L"Caf\u00e9 \u2014"),
         nullptr,
         0,
         russian,
         {"Cafe \x97", "http://127.0.0.1:9/"}},
        // The address goes on as browsers send it: characters outside ASCII as their UTF-8
        // bytes, percent-encoded; no look-alike (a fullwidth solidus is no '/') and no '?'.
        {"address outside ASCII",
         Page(L"http://127.0.0.1:9/caf\u00e9/a\uff0fb?q=\u4e2d%26\U0001F600", L"T"),
         nullptr,
         0,
         0,
         {"T", "http://127.0.0.1:9/caf%C3%A9/a%EF%BC%8Fb?q=%E4%B8%AD%26%F0%9F%98%80"}},
        {"address outside ASCII under another code page",
         Page(L"http://127.0.0.1:9/caf\u00e9", L"Caf\u00e9"),
         nullptr,
         0,
         russian,
         {"Cafe", "http://127.0.0.1:9/caf%C3%A9"}},
        {"lone surrogate in the address",
         Page(std::wstring(L"http://127.0.0.1:9/") + L'\xD800' + L"x", L"T"),
         nullptr,
         0,
         0,
         {"T", "http://127.0.0.1:9/%EF%BF%BDx"}},
    };
    ASSERT_EQ(GetACP(), 1252u) << "the cases are written for a Western prefix";
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        framework::ComPtr<IOleCommandTarget> command = CreateCommand();
        BrowserPage page(c.page);
        ASSERT_EQ(SetSite(command.Get(), page.site.Get()), S_OK);
        const LONG referencesBefore = page.log.liveReferences;
        const LCID locale = GetThreadLocale();
        if (c.threadLocale) SetThreadLocale(c.threadLocale);
        HRESULT result = E_UNEXPECTED;
        const ShownPage shown = RunAndCancel(command.Get(), c.group, c.id, result);
        SetThreadLocale(locale);
        EXPECT_EQ(result, S_OK);
        EXPECT_EQ(shown.description, c.expected.description);
        EXPECT_EQ(shown.address, c.expected.address);
        EXPECT_EQ(page.log.reads, (std::vector<std::string>{"LocationURL", "LocationName"}))
            << "address first, then title";
        EXPECT_EQ(page.log.liveReferences, referencesBefore) << "every interface released";
    }
}

TEST(BrowserCommand, ReturnsOkWhenTheCommandEndsInAnException) {
#ifndef _WIN64
    GTEST_SKIP() << "a C++ exception passes from the test's browser into Corvane.dll only where "
                    "both unwind through the system's tables, as on x64";
#endif
    framework::ComPtr<IOleCommandTarget> command = CreateCommand();
    PageInfo broken = Page(L"http://127.0.0.1:9/broken", L"Broken");
    broken.urlThrows = true;
    BrowserPage page(broken);
    ASSERT_EQ(SetSite(command.Get(), page.site.Get()), S_OK);
    const LONG referencesBefore = page.log.liveReferences;
    {
        UserSession user([](SimulatedUser&) {});
        EXPECT_EQ(Exec(command.Get()), S_OK);
        EXPECT_EQ(user.LeftOpen(), 0) << "nothing shown";
    }
    EXPECT_EQ(page.log.liveReferences, referencesBefore) << "every interface released";
    // The one-command gate was let go: the next command runs.
    BrowserPage next(Page(L"http://127.0.0.1:9/next", L"Next"));
    ASSERT_EQ(SetSite(command.Get(), next.site.Get()), S_OK);
    HRESULT result = E_UNEXPECTED;
    EXPECT_EQ(RunAndCancel(command.Get(), nullptr, 0, result).description, "Next");
    EXPECT_EQ(result, S_OK);
}

// Every child window's text, one per line.
std::string ChildTexts(HWND dialog) {
    std::string texts;
    for (HWND child = GetWindow(dialog, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        char text[128] = {};
        GetWindowTextA(child, text, sizeof text);
        texts += std::string(text) + "\n";
    }
    return texts;
}

TEST(BrowserCommand, DanishThreadGetsTheDanishNewCategoryAndOptionsDialogs) {
    framework::ComPtr<IOleCommandTarget> command = CreateCommand();
    BrowserPage page(Page(L"http://127.0.0.1:9/dk", L"Side"));
    ASSERT_EQ(SetSite(command.Get(), page.site.Get()), S_OK);
    std::wstring newCategoryCaption, optionsCaption;
    std::string newCategoryTexts, optionsTexts;
    dialog_testing::DanishThread danish;
    UserSession user([&](SimulatedUser& person) {
        HWND dialog = person.WaitForDialog(L"Tilf\u00f8j til Tavrello.com");
        if (!dialog) return;
        SimulatedUser::Click(dialog, IDC_NEW_CATEGORY);
        if (HWND newCategory = person.WaitForDialog(L"Tilf\u00f8j en ny kategori")) {
            newCategoryCaption = SimulatedUser::WideText(newCategory);
            newCategoryTexts = ChildTexts(newCategory);
            person.ClickAndWaitClosed(newCategory, IDCANCEL);
        }
        SimulatedUser::Click(dialog, IDC_OPTIONS);
        if (HWND options = person.WaitForDialog(L"Tavrello Ops\u00e6tning")) {
            optionsCaption = SimulatedUser::WideText(options);
            optionsTexts = ChildTexts(options);
            person.ClickAndWaitClosed(options, IDCANCEL);
        }
        person.ClickAndWaitClosed(dialog, IDCANCEL);
    });
    EXPECT_EQ(Exec(command.Get()), S_OK);
    EXPECT_EQ(user.LeftOpen(), 0);
    EXPECT_EQ(newCategoryCaption, L"Tilf\u00f8j en ny kategori");
    EXPECT_EQ(newCategoryTexts, "OK\nAnnuller\n\nKategori navn\n");
    EXPECT_EQ(optionsCaption, L"Tavrello Ops\u00e6tning");
    EXPECT_NE(optionsTexts.find("Annuller\n"), std::string::npos) << optionsTexts;
    EXPECT_NE(optionsTexts.find("Adgangskode\n"), std::string::npos) << optionsTexts;
}

TEST(BrowserCommand, ReadsThePageAnewOnEveryCommand) {
    framework::ComPtr<IOleCommandTarget> command = CreateCommand();
    BrowserPage first(Page(L"http://127.0.0.1:9/1", L"First"));
    BrowserPage second(Page(L"http://127.0.0.1:9/2", L"Second"));
    HRESULT result = E_UNEXPECTED;
    ASSERT_EQ(SetSite(command.Get(), first.site.Get()), S_OK);
    EXPECT_EQ(RunAndCancel(command.Get(), nullptr, 0, result).description, "First");
    ASSERT_EQ(SetSite(command.Get(), second.site.Get()), S_OK);
    EXPECT_EQ(RunAndCancel(command.Get(), nullptr, 0, result).description, "Second");
    EXPECT_EQ(first.log.reads.size(), 2u);
    EXPECT_EQ(second.log.reads.size(), 2u);
}

// Whether the thread's activation context gives the tree-view class of common controls 6.
bool TreeViewOfCommonControls6() {
    ACTCTX_SECTION_KEYED_DATA data = {};
    data.cbSize = sizeof data;
    return FindActCtxSectionStringW(0, nullptr, ACTIVATION_CONTEXT_SECTION_WINDOW_CLASS_REDIRECTION,
                                    L"SysTreeView32", &data) != FALSE;
}

// Each window made on the hooked thread: its class and whether common controls 6 were active.
std::vector<std::pair<std::string, bool>>* windowsMade = nullptr;

LRESULT CALLBACK RecordWindowMade(int code, WPARAM wParam, LPARAM lParam) {
    if (code == HCBT_CREATEWND && windowsMade) {
        char name[64] = {};
        GetClassNameA(reinterpret_cast<HWND>(wParam), name, sizeof name);
        windowsMade->emplace_back(name, TreeViewOfCommonControls6());
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

TEST(BrowserCommand, DialogAndTreeAreMadeInThePluginsContextAndTheBrowsersIsLeftAlone) {
    ASSERT_FALSE(TreeViewOfCommonControls6()) << "the test's thread, as a browser's, has its own";
    framework::ComPtr<IOleCommandTarget> command = CreateCommand();
    BrowserPage page(Page(L"http://127.0.0.1:9/ctx", L"Context"));
    ASSERT_EQ(SetSite(command.Get(), page.site.Get()), S_OK);
    std::vector<std::pair<std::string, bool>> made;
    windowsMade = &made;
    HHOOK hook = SetWindowsHookExA(WH_CBT, &RecordWindowMade, nullptr, GetCurrentThreadId());
    ASSERT_NE(hook, nullptr);
    HRESULT result = E_UNEXPECTED;
    RunAndCancel(command.Get(), nullptr, 0, result);
    UnhookWindowsHookEx(hook);
    windowsMade = nullptr;
    EXPECT_EQ(result, S_OK);
    EXPECT_FALSE(TreeViewOfCommonControls6()) << "the thread's own context is back after Exec";
    int dialogs = 0;
    int trees = 0;
    for (const auto& [windowClass, inPluginContext] : made) {
        dialogs += windowClass == "#32770";
        trees += windowClass.find("SysTreeView32") != std::string::npos;
        EXPECT_TRUE(inPluginContext) << windowClass;
    }
    EXPECT_EQ(dialogs, 1);
    EXPECT_EQ(trees, 1);
}

TEST(BrowserCommand, SendsThePageWithEveryFieldIntactOnOk) {
    ASSERT_EQ(GetACP(), 1252u) << "the expected bytes are Windows-1252";
    const std::wstring url = L"http://127.0.0.1:9/cartoons/view.php?show=tom%26jerry&part=2#top";
    framework::ComPtr<IOleCommandTarget> command = CreateCommand();
    BrowserPage page(Page(url, L"Tom & Jerry \u2014 Caf\u00e9"));
    ASSERT_EQ(SetSite(command.Get(), page.site.Get()), S_OK);
    const size_t addsBefore = module_testing::AddRequestCount();

    std::string categoryShown;
    UserSession user([&categoryShown](SimulatedUser& person) {
        HWND dialog = person.WaitForDialog(module_testing::kAddCaption);
        if (!dialog) return;
        HWND tree = SimulatedUser::Tree(dialog);
        if (!SimulatedUser::SelectByText(tree, "Work")) return;
        categoryShown = SimulatedUser::SelectedText(tree);
        person.ClickAndWaitClosed(dialog, IDOK);
    });
    EXPECT_EQ(Exec(command.Get()), S_OK);
    EXPECT_EQ(user.LeftOpen(), 0);
    EXPECT_EQ(categoryShown, "Work");

    const auto adds = BrowserEnvironment::Get().Peer().RequestsTo(module_testing::kAddUrlPath);
    ASSERT_EQ(adds.size(), addsBefore + 1);
    const auto fields = testing_support::DecodeForm(adds.back().body);
    EXPECT_EQ(fields.size(), 5u);
    EXPECT_EQ(fields.at("email"), module_testing::kEmail);
    EXPECT_EQ(fields.at("password"), module_testing::kPassword);
    EXPECT_EQ(fields.at("name"), "Tom & Jerry \x97 Caf\xe9");
    EXPECT_EQ(fields.at("url"), "http://127.0.0.1:9/cartoons/view.php?show=tom%26jerry&part=2#top");
    EXPECT_EQ(fields.at("parent"), "12");

    // The category list came from the same account.
    const auto categoryRequests =
        BrowserEnvironment::Get().Peer().RequestsTo(module_testing::kCategoriesPath);
    ASSERT_FALSE(categoryRequests.empty());
    for (const auto& request : categoryRequests) {
        const auto category = testing_support::DecodeForm(request.body);
        EXPECT_EQ(category.at("email"), module_testing::kEmail);
        EXPECT_EQ(category.at("password"), module_testing::kPassword);
    }
}

}  // namespace
