// Corvane.dll's self-registration through its exports, with HKEY_CLASSES_ROOT redirected to a
// scratch key so the entries can be compared exactly, and through regsvr32 on the prefix.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

#include "Corvane.h"
#include "tests/plugin/module/corvane_fixture.h"
#include "tests/support/registry_sandbox.h"

namespace {

using module_testing::CorvaneLibrary;
using module_testing::DumpTree;
using module_testing::GuidText;
using module_testing::LinesUnder;

const std::string kAppId = "{F78734E6-86FF-4C62-90A9-A85FC12B15E4}";

std::string Clsid() {
    return GuidText(CLSID_CTavrelloIE);
}
std::string Libid() {
    return GuidText(LIBID_CorvaneLib);
}
std::string Iid() {
    return GuidText(IID_ITavrelloIE);
}

std::vector<std::string> Sorted(std::vector<std::string> lines) {
    std::sort(lines.begin(), lines.end());
    return lines;
}

// Everything the AppID script and the class script write, and nothing else.
std::vector<std::string> ExpectedScriptEntries() {
    const std::string clsid = "CLSID\\" + Clsid();
    return Sorted({
        "AppID",
        "AppID\\" + kAppId,
        "AppID\\" + kAppId + " | @ = Corvane",
        "AppID\\Corvane.DLL",
        "AppID\\Corvane.DLL | AppID = " + kAppId,
        "Corvane.TavrelloIE.1",
        "Corvane.TavrelloIE.1 | @ = CTavrelloIE Object",
        "Corvane.TavrelloIE.1\\CLSID",
        "Corvane.TavrelloIE.1\\CLSID | @ = " + Clsid(),
        "Corvane.TavrelloIE",
        "Corvane.TavrelloIE | @ = CTavrelloIE Object",
        "Corvane.TavrelloIE\\CLSID",
        "Corvane.TavrelloIE\\CLSID | @ = " + Clsid(),
        "Corvane.TavrelloIE\\CurVer",
        "Corvane.TavrelloIE\\CurVer | @ = Corvane.TavrelloIE.1",
        "CLSID",
        clsid,
        clsid + " | @ = CTavrelloIE Object",
        clsid + " | AppID = " + kAppId,
        clsid + "\\ProgID",
        clsid + "\\ProgID | @ = Corvane.TavrelloIE.1",
        clsid + "\\VersionIndependentProgID",
        clsid + "\\VersionIndependentProgID | @ = Corvane.TavrelloIE",
        clsid + "\\Programmable",
        clsid + "\\InprocServer32",
        clsid + "\\InprocServer32 | @ = " + module_testing::CorvanePath(),
        clsid + "\\InprocServer32 | ThreadingModel = apartment",
        clsid + "\\TypeLib",
        clsid + "\\TypeLib | @ = " + Libid(),
    });
}

// Registry names compare without regard to letter case ("Typelib" and "TypeLib" are one key).
std::string Lower(std::string text) {
    CharLowerBuffA(text.data(), static_cast<DWORD>(text.size()));
    return text;
}

// The dump without what the platform's type-library registration writes.
std::vector<std::string> WithoutTypeLibrary(const std::vector<std::string>& dump) {
    std::vector<std::string> rest;
    for (const std::string& line : dump) {
        const std::string lower = Lower(line);
        if (lower.rfind("typelib", 0) == 0 || lower.rfind("interface", 0) == 0) continue;
        rest.push_back(line);
    }
    return rest;
}

bool Contains(const std::vector<std::string>& lines, const std::string& line) {
    for (const std::string& candidate : lines) {
        if (Lower(candidate) == Lower(line)) return true;
    }
    return false;
}

// Anything at all that names one of the module's identifiers or ProgIDs.
std::vector<std::string> TracesOfTheModule(const std::vector<std::string>& dump) {
    std::vector<std::string> traces;
    for (const std::string& line : dump) {
        for (const std::string& mark :
             {Clsid(), Libid(), Iid(), kAppId, std::string("Corvane.TavrelloIE"),
              std::string("Corvane.DLL")}) {
            if (line.find(mark) != std::string::npos) {
                traces.push_back(line);
                break;
            }
        }
    }
    return traces;
}

void CreateKey(const std::string& path, DWORD options = 0) {
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CLASSES_ROOT, path.c_str(), 0, nullptr, options, KEY_ALL_ACCESS,
                              nullptr, &key, nullptr),
              ERROR_SUCCESS)
        << path;
    RegCloseKey(key);
}

class SandboxedRegistration : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(library_.Loaded()) << module_testing::CorvanePath(); }

    std::vector<std::string> Dump() const { return DumpTree(HKEY_CLASSES_ROOT, ""); }

    testing_support::RegistrySandbox classes_{HKEY_CLASSES_ROOT};
    CorvaneLibrary library_;
};

TEST_F(SandboxedRegistration, WritesExactlyTheAppIdAndClassEntries) {
    ASSERT_EQ(library_.DllRegisterServer(), S_OK);
    EXPECT_EQ(WithoutTypeLibrary(Dump()), ExpectedScriptEntries());
}

TEST_F(SandboxedRegistration, RegistersTheTypeLibraryAndItsInterface) {
    ASSERT_EQ(library_.DllRegisterServer(), S_OK);
    const std::vector<std::string> dump = Dump();
    const std::string library = "TypeLib\\" + Libid() + "\\1.0";
    for (const std::string& line : {
             library + " | @ = Corvane 1.0 Type Library",
             library + "\\409\\" + testing_support::kTypeLibraryPlatform +
                 " | @ = " + module_testing::CorvanePath(),
             "Interface\\" + Iid() + " | @ = ITavrelloIE",
             "Interface\\" + Iid() + "\\TypeLib | @ = " + Libid(),
         }) {
        EXPECT_TRUE(Contains(dump, line)) << line;
    }
}

TEST_F(SandboxedRegistration, RegisteringTwiceLeavesOneSet) {
    ASSERT_EQ(library_.DllRegisterServer(), S_OK);
    const std::vector<std::string> once = Dump();
    ASSERT_EQ(library_.DllRegisterServer(), S_OK);
    EXPECT_EQ(Dump(), once);
}

TEST_F(SandboxedRegistration, ReplacesAStaleClassKeyWhole) {
    const std::string clsid = "CLSID\\" + Clsid();
    CreateKey(clsid + "\\Stale");
    CreateKey(clsid + "\\Programmable\\Stale");
    ASSERT_EQ(library_.DllRegisterServer(), S_OK);
    EXPECT_EQ(WithoutTypeLibrary(Dump()), ExpectedScriptEntries());
}

TEST_F(SandboxedRegistration, UnregisteringRemovesEverythingButTheSharedKeys) {
    CreateKey("CLSID\\{00000000-1111-2222-3333-444444444444}");
    CreateKey("AppID\\Other.DLL");
    ASSERT_EQ(library_.DllRegisterServer(), S_OK);
    ASSERT_EQ(library_.DllUnregisterServer(), S_OK);
    const std::vector<std::string> dump = Dump();
    EXPECT_EQ(TracesOfTheModule(dump), std::vector<std::string>{});
    EXPECT_TRUE(Contains(dump, "CLSID\\{00000000-1111-2222-3333-444444444444}"));
    EXPECT_TRUE(Contains(dump, "AppID\\Other.DLL"));
}

TEST_F(SandboxedRegistration, UnregisteringKeepsEmptyAppIdAndClsidKeys) {
    ASSERT_EQ(library_.DllRegisterServer(), S_OK);
    ASSERT_EQ(library_.DllUnregisterServer(), S_OK);
    const std::vector<std::string> dump = WithoutTypeLibrary(Dump());
    EXPECT_EQ(dump, (std::vector<std::string>{"AppID", "CLSID"}));
}

TEST_F(SandboxedRegistration, BothRestoreTheCallersThreadLocale) {
    const LCID danish = MAKELCID(MAKELANGID(LANG_DANISH, SUBLANG_DEFAULT), SORT_DEFAULT);
    const LCID before = GetThreadLocale();
    ASSERT_TRUE(SetThreadLocale(danish));
    EXPECT_EQ(library_.DllRegisterServer(), S_OK);
    EXPECT_EQ(GetThreadLocale(), danish);
    EXPECT_EQ(library_.DllUnregisterServer(), S_OK);
    EXPECT_EQ(GetThreadLocale(), danish);
    SetThreadLocale(before);
}

// A volatile key takes no lasting subkeys: a step that must write below one fails there.
TEST_F(SandboxedRegistration, StopsAtTheFirstFailingStepWithItsCode) {
    const HRESULT volatileParent = HRESULT_FROM_WIN32(ERROR_CHILD_MUST_BE_VOLATILE);
    const struct {
        const char* volatileKey;
        bool appIdWritten;
        bool classWritten;
    } cases[] = {
        {"AppID", false, false},
        {"CLSID", true, false},
        {"TypeLib", true, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.volatileKey);
        testing_support::RegistrySandbox classes(HKEY_CLASSES_ROOT);
        CreateKey(c.volatileKey, REG_OPTION_VOLATILE);
        const LCID before = GetThreadLocale();
        const HRESULT result = library_.DllRegisterServer();
        EXPECT_EQ(GetThreadLocale(), before);
        if (std::string(c.volatileKey) == "TypeLib") {
            EXPECT_TRUE(FAILED(result)) << std::hex << result;
        } else {
            EXPECT_EQ(result, volatileParent) << std::hex << result;
        }
        const std::vector<std::string> dump = Dump();
        EXPECT_EQ(Contains(dump, "AppID\\Corvane.DLL"), c.appIdWritten);
        EXPECT_EQ(Contains(dump, "CLSID\\" + Clsid()), c.classWritten);
        EXPECT_EQ(LinesUnder(dump, "TypeLib\\" + Libid()), std::vector<std::string>{})
            << "the type library comes last";
    }
}

// regsvr32 in the prefix: the real HKEY_CLASSES_ROOT that COM activation reads.
TEST(PrefixRegistration, Regsvr32RegistersAndUnregistersTheModule) {
    const std::string server = "CLSID\\" + Clsid() + "\\InprocServer32";
    ASSERT_EQ(module_testing::RunRegsvr32(false), 0u);
    EXPECT_EQ(testing_support::ReadText(HKEY_CLASSES_ROOT, server, ""),
              module_testing::CorvanePath());
    EXPECT_EQ(testing_support::ReadText(HKEY_CLASSES_ROOT, "Corvane.TavrelloIE\\CLSID", ""),
              Clsid());
    EXPECT_TRUE(testing_support::KeyExists(HKEY_CLASSES_ROOT, "TypeLib\\" + Libid()));
    if (sizeof(void*) == 8) {
        // A 64-bit server goes into the 64-bit view only, where 64-bit browsers look.
        EXPECT_TRUE(testing_support::KeyExistsInView(HKEY_CLASSES_ROOT, server, KEY_WOW64_64KEY));
        EXPECT_FALSE(testing_support::KeyExistsInView(HKEY_CLASSES_ROOT, server, KEY_WOW64_32KEY));
    }

    ASSERT_EQ(module_testing::RunRegsvr32(true), 0u);
    EXPECT_FALSE(testing_support::KeyExists(HKEY_CLASSES_ROOT, "CLSID\\" + Clsid()));
    EXPECT_FALSE(testing_support::KeyExists(HKEY_CLASSES_ROOT, "Corvane.TavrelloIE"));
    EXPECT_FALSE(testing_support::KeyExists(HKEY_CLASSES_ROOT, "Corvane.TavrelloIE.1"));
    EXPECT_FALSE(testing_support::KeyExists(HKEY_CLASSES_ROOT, "AppID\\" + kAppId));
    EXPECT_FALSE(testing_support::KeyExists(HKEY_CLASSES_ROOT, "TypeLib\\" + Libid()));
    EXPECT_TRUE(testing_support::KeyExists(HKEY_CLASSES_ROOT, "CLSID"));
    EXPECT_TRUE(testing_support::KeyExists(HKEY_CLASSES_ROOT, "AppID"));
}

}  // namespace
