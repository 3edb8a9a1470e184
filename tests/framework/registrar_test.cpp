// The registrar against the real registry, with HKEY_CLASSES_ROOT (and HKEY_CURRENT_USER where
// a script names it) redirected to scratch keys: register, register again, unregister, and
// malformed scripts that must leave the registry as it was.
#include "framework/registration/registrar.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "framework/handles.h"
#include "tests/support/registration_scripts.h"
#include "tests/support/registry_sandbox.h"

using testing_support::KeyExists;
using testing_support::RegistrySandbox;
using testing_support::SetRawValue;

namespace {

using testing_support::kAppIdScript;
using testing_support::kClassScript;

constexpr const char* kAppId = testing_support::kScriptAppId;
constexpr const char* kClsid = testing_support::kScriptClsid;
constexpr const char* kLibId = testing_support::kScriptLibId;
constexpr const char* kModule = testing_support::kScriptModule;

// Every key and value below root, depth first with sorted names: "path" for a key and
// "path|name=data" for a value ("@" names the default, DWORDs print as "#number").
void Snapshot(HKEY key, const std::string& path, std::vector<std::string>& lines) {
    char name[512];
    BYTE data[2048];
    std::vector<std::string> values;
    for (DWORD index = 0;; ++index) {
        DWORD nameLength = sizeof name;
        DWORD dataLength = sizeof data;
        DWORD type = 0;
        if (RegEnumValueA(key, index, name, &nameLength, nullptr, &type, data, &dataLength) !=
            ERROR_SUCCESS) {
            break;
        }
        std::string text;
        if (type == REG_DWORD) {
            text = "#" + std::to_string(*reinterpret_cast<DWORD*>(data));
        } else {
            text.assign(reinterpret_cast<char*>(data), dataLength);
            if (!text.empty() && text.back() == '\0') text.pop_back();
        }
        values.push_back(path + "|" + (nameLength ? std::string(name) : "@") + "=" + text);
    }
    std::sort(values.begin(), values.end());
    lines.insert(lines.end(), values.begin(), values.end());
    std::vector<std::string> subkeys;
    for (DWORD index = 0;; ++index) {
        DWORD nameLength = sizeof name;
        if (RegEnumKeyExA(key, index, name, &nameLength, nullptr, nullptr, nullptr, nullptr) !=
            ERROR_SUCCESS) {
            break;
        }
        subkeys.emplace_back(name, nameLength);
    }
    std::sort(subkeys.begin(), subkeys.end());
    for (const std::string& subkey : subkeys) {
        framework::RegKey opened;
        if (RegOpenKeyExA(key, subkey.c_str(), 0, KEY_READ, opened.Receive()) != ERROR_SUCCESS) {
            lines.push_back(path + "\\" + subkey + " <cannot open>");
            continue;
        }
        const std::string subpath = path.empty() ? subkey : path + "\\" + subkey;
        lines.push_back(subpath);
        Snapshot(opened.Get(), subpath, lines);
    }
}

std::vector<std::string> Snapshot(HKEY root) {
    std::vector<std::string> lines;
    Snapshot(root, "", lines);
    return lines;
}

std::vector<std::string> Sorted(std::vector<std::string> lines) {
    std::sort(lines.begin(), lines.end());
    return lines;
}

// What the two scripts write into an empty HKEY_CLASSES_ROOT.
std::vector<std::string> ExpectedRegistration() {
    const std::string clsid = std::string("CLSID\\") + kClsid;
    const std::string appId = std::string("AppID\\") + kAppId;
    return Sorted({
        "AppID",
        appId,
        appId + "|@=Corvane",
        "AppID\\Corvane.DLL",
        "AppID\\Corvane.DLL|AppID=" + std::string(kAppId),
        "CLSID",
        clsid,
        clsid + "|@=CTavrelloIE Object",
        clsid + "|AppID=" + std::string(kAppId),
        clsid + "\\InprocServer32",
        clsid + "\\InprocServer32|@=" + std::string(kModule),
        clsid + "\\InprocServer32|ThreadingModel=apartment",
        clsid + "\\ProgID",
        clsid + "\\ProgID|@=Corvane.TavrelloIE.1",
        clsid + "\\Programmable",
        clsid + "\\TypeLib",
        clsid + "\\TypeLib|@=" + std::string(kLibId),
        clsid + "\\VersionIndependentProgID",
        clsid + "\\VersionIndependentProgID|@=Corvane.TavrelloIE",
        "Corvane.TavrelloIE",
        "Corvane.TavrelloIE|@=CTavrelloIE Object",
        "Corvane.TavrelloIE\\CLSID",
        "Corvane.TavrelloIE\\CLSID|@=" + std::string(kClsid),
        "Corvane.TavrelloIE\\CurVer",
        "Corvane.TavrelloIE\\CurVer|@=Corvane.TavrelloIE.1",
        "Corvane.TavrelloIE.1",
        "Corvane.TavrelloIE.1|@=CTavrelloIE Object",
        "Corvane.TavrelloIE.1\\CLSID",
        "Corvane.TavrelloIE.1\\CLSID|@=" + std::string(kClsid),
    });
}

class RegistrarTest : public ::testing::Test {
protected:
    RegistrarTest() {
        registrar_.AddReplacement("APPID", kAppId);
        registrar_.AddReplacement("CLSID", kClsid);
        registrar_.AddReplacement("LIBID", kLibId);
        registrar_.AddReplacement("MODULE", kModule);
    }

    HRESULT RegisterBoth() {
        const HRESULT result = registrar_.RegisterScript(kAppIdScript);
        return FAILED(result) ? result : registrar_.RegisterScript(kClassScript);
    }
    HRESULT UnregisterBoth() {
        const HRESULT result = registrar_.UnregisterScript(kClassScript);
        return FAILED(result) ? result : registrar_.UnregisterScript(kAppIdScript);
    }
    std::vector<std::string> Classes() { return Sorted(Snapshot(HKEY_CLASSES_ROOT)); }

    RegistrySandbox classesRoot_{HKEY_CLASSES_ROOT};
    framework::Registrar registrar_;
};

TEST_F(RegistrarTest, RegisterWritesExactlyTheScriptEntries) {
    ASSERT_EQ(RegisterBoth(), S_OK);
    EXPECT_EQ(Classes(), ExpectedRegistration());
    DWORD type = 0;
    std::string data;
    ASSERT_TRUE(testing_support::ReadRawValue(HKEY_CLASSES_ROOT, "AppID\\Corvane.DLL", "AppID",
                                              type, data));
    EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(data, std::string(kAppId) + '\0') << "stored with its terminating NUL";
}

TEST_F(RegistrarTest, RegisterTwiceLeavesOneSet) {
    ASSERT_EQ(RegisterBoth(), S_OK);
    ASSERT_EQ(RegisterBoth(), S_OK);
    EXPECT_EQ(Classes(), ExpectedRegistration());
}

TEST_F(RegistrarTest, ForceRemoveReplacesTheWholeKeyAndNothingBesideIt) {
    const std::string clsid = std::string("CLSID\\") + kClsid;
    SetRawValue(HKEY_CLASSES_ROOT, clsid + "\\Stale\\Deeper", "old", REG_SZ, std::string("x", 2));
    SetRawValue(HKEY_CLASSES_ROOT, clsid, "Leftover", REG_SZ, std::string("y", 2));
    SetRawValue(HKEY_CLASSES_ROOT, clsid + "\\Programmable\\Old", "", REG_SZ, std::string("z", 2));
    SetRawValue(HKEY_CLASSES_ROOT, "CLSID\\{Other}", "", REG_SZ, std::string("other", 6));
    SetRawValue(HKEY_CLASSES_ROOT, "Corvane.TavrelloIE\\Foreign", "", REG_SZ,
                std::string("kept", 5));

    ASSERT_EQ(RegisterBoth(), S_OK);
    std::vector<std::string> expected = ExpectedRegistration();
    expected.insert(expected.end(),
                    {"CLSID\\{Other}", "CLSID\\{Other}|@=other", "Corvane.TavrelloIE\\Foreign",
                     "Corvane.TavrelloIE\\Foreign|@=kept"});
    EXPECT_EQ(Classes(), Sorted(expected))
        << "ForceRemove wipes the old class key; keys without it keep what they held";
}

TEST_F(RegistrarTest, UnregisterRemovesWhatTheScriptsWroteAndKeepsTheRest) {
    ASSERT_EQ(RegisterBoth(), S_OK);
    // Foreign entries beside and inside the script's keys.
    SetRawValue(HKEY_CLASSES_ROOT, "CLSID\\{Other}\\InprocServer32", "", REG_SZ,
                std::string("other.dll", 10));
    SetRawValue(HKEY_CLASSES_ROOT, "AppID", "Note", REG_SZ, std::string("n", 2));
    SetRawValue(HKEY_CLASSES_ROOT, "AppID\\Corvane.DLL", "RunAs", REG_SZ,
                std::string("Interactive User", 17));
    SetRawValue(HKEY_CLASSES_ROOT, "Corvane.TavrelloIE\\Insertable", "", REG_SZ,
                std::string("", 1));
    // Foreign content under the ForceRemove class key goes with it.
    SetRawValue(HKEY_CLASSES_ROOT, std::string("CLSID\\") + kClsid + "\\Implemented Categories", "",
                REG_SZ, std::string("", 1));

    ASSERT_EQ(UnregisterBoth(), S_OK);
    EXPECT_EQ(Classes(), Sorted({
                             "AppID",
                             "AppID|Note=n",
                             "AppID\\Corvane.DLL",
                             "AppID\\Corvane.DLL|RunAs=Interactive User",
                             "CLSID",
                             "CLSID\\{Other}",
                             "CLSID\\{Other}\\InprocServer32",
                             "CLSID\\{Other}\\InprocServer32|@=other.dll",
                             "Corvane.TavrelloIE",
                             "Corvane.TavrelloIE\\Insertable",
                             "Corvane.TavrelloIE\\Insertable|@=",
                         }));
}

TEST_F(RegistrarTest, UnregisterKeepsEmptyNoRemoveKeysAndIgnoresMissingEntries) {
    ASSERT_EQ(RegisterBoth(), S_OK);
    ASSERT_EQ(UnregisterBoth(), S_OK);
    EXPECT_EQ(Classes(), Sorted({"AppID", "CLSID"}));
    ASSERT_EQ(UnregisterBoth(), S_OK) << "unregistering what is gone is no failure";
    EXPECT_EQ(Classes(), Sorted({"AppID", "CLSID"}));
}

TEST_F(RegistrarTest, UnregisterOnAnEmptyRegistryCreatesNothing) {
    EXPECT_EQ(UnregisterBoth(), S_OK);
    EXPECT_TRUE(Classes().empty());
}

TEST_F(RegistrarTest, DeleteKeysAreRemovedOnRegisterAndLeftAloneOnUnregister) {
    const char script[] = R"(HKCR
    {
        NoRemove Corvane.Old
        {
            Delete Obsolete
            val Counter = d '0x10'
        }
    })";
    SetRawValue(HKEY_CLASSES_ROOT, "Corvane.Old\\Obsolete\\Sub", "v", REG_SZ, std::string("", 1));
    SetRawValue(HKEY_CLASSES_ROOT, "Corvane.Old\\Kept", "", REG_SZ, std::string("k", 2));
    ASSERT_EQ(registrar_.RegisterScript(script), S_OK);
    EXPECT_EQ(Classes(), Sorted({"Corvane.Old", "Corvane.Old|Counter=#16", "Corvane.Old\\Kept",
                                 "Corvane.Old\\Kept|@=k"}));

    SetRawValue(HKEY_CLASSES_ROOT, "Corvane.Old\\Obsolete", "", REG_SZ, std::string("new", 4));
    ASSERT_EQ(registrar_.UnregisterScript(script), S_OK);
    EXPECT_EQ(Classes(), Sorted({"Corvane.Old", "Corvane.Old\\Kept", "Corvane.Old\\Kept|@=k",
                                 "Corvane.Old\\Obsolete", "Corvane.Old\\Obsolete|@=new"}));
}

TEST_F(RegistrarTest, DwordValuesAreWrittenAsDwords) {
    ASSERT_EQ(registrar_.RegisterScript("HKCR { k { val n = d '4294967295' } }"), S_OK);
    DWORD type = 0;
    std::string data;
    ASSERT_TRUE(testing_support::ReadRawValue(HKEY_CLASSES_ROOT, "k", "n", type, data));
    EXPECT_EQ(type, static_cast<DWORD>(REG_DWORD));
    EXPECT_EQ(data, std::string(4, '\xFF'));
}

TEST_F(RegistrarTest, EachRootBlockWritesBelowItsOwnRoot) {
    RegistrySandbox currentUser(HKEY_CURRENT_USER);
    const char script[] = "HKCU { Software { Probe = s 'user' } } HKCR { Probe = s 'classes' }";
    ASSERT_EQ(registrar_.RegisterScript(script), S_OK);
    EXPECT_EQ(Sorted(Snapshot(HKEY_CURRENT_USER)),
              Sorted({"Software", "Software\\Probe", "Software\\Probe|@=user"}));
    EXPECT_EQ(Classes(), Sorted({"Probe", "Probe|@=classes"}));
    ASSERT_EQ(registrar_.UnregisterScript(script), S_OK);
    EXPECT_TRUE(Snapshot(HKEY_CURRENT_USER).empty());
    EXPECT_TRUE(Classes().empty());
}

TEST_F(RegistrarTest, MalformedScriptsChangeNothing) {
    struct Case {
        std::string script;
        int line;
    };
    const std::string classScript = kClassScript;
    const std::string withoutLastBrace = classScript.substr(0, classScript.rfind('}'));
    std::string unknownPlaceholder = classScript;
    unknownPlaceholder.replace(unknownPlaceholder.rfind("%LIBID%"), 7, "%TYPELIB%");
    std::string badType = classScript;
    badType.replace(badType.rfind("s 'apartment'"), 1, "x");
    const Case cases[] = {
        {withoutLastBrace, 27},
        {unknownPlaceholder, 24},
        {badType, 22},
        {classScript + "HKCR { k = s 'open }", 28},
    };
    ASSERT_EQ(registrar_.RegisterScript(kAppIdScript), S_OK);
    const std::vector<std::string> before = Classes();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.script);
        EXPECT_EQ(registrar_.RegisterScript(c.script), framework::kMalformedRegistryScript);
        EXPECT_EQ(registrar_.LastScriptError().line, c.line)
            << registrar_.LastScriptError().Describe();
        EXPECT_EQ(Classes(), before) << "nothing of the script's earlier keys may be written";
    }
    // Unregistering with a malformed script removes nothing either.
    const std::string brokenAppId = std::string(kAppIdScript) + "}";
    EXPECT_EQ(registrar_.UnregisterScript(brokenAppId), framework::kMalformedRegistryScript);
    EXPECT_EQ(Classes(), before);
}

TEST_F(RegistrarTest, ModuleReplacementIsTheModulePath) {
    framework::Registrar registrar;
    registrar.AddModuleReplacement(GetModuleHandleA(nullptr));
    ASSERT_EQ(registrar.RegisterScript("HKCR { Probe = s '%MODULE%' }"), S_OK);
    char path[MAX_PATH] = {};
    ASSERT_GT(GetModuleFileNameA(nullptr, path, MAX_PATH), 0u);
    EXPECT_EQ(testing_support::ReadText(HKEY_CLASSES_ROOT, "Probe", ""), path);
    EXPECT_NE(std::string(path).find("framework_registrar_test"), std::string::npos);
}

// Scripts taken from the test executable's own "REGISTRY" resources.
TEST_F(RegistrarTest, ScriptResourcesRegisterAndUnregister) {
    const HMODULE module = GetModuleHandleA(nullptr);
    const std::string appId = std::string("AppID\\") + kAppId;
    const std::vector<std::string> expected =
        Sorted({"AppID", appId, appId + "|@=FrameworkProbe", "AppID\\FrameworkProbe.EXE",
                "AppID\\FrameworkProbe.EXE|AppID=" + std::string(kAppId)});
    for (UINT resource : {101u, 102u}) {  // 8-bit text, then UTF-16 with byte-order mark
        SCOPED_TRACE(resource);
        ASSERT_EQ(registrar_.RegisterResource(module, resource), S_OK);
        EXPECT_EQ(Classes(), expected);
        ASSERT_EQ(registrar_.UnregisterResource(module, resource), S_OK);
        EXPECT_EQ(Classes(), Sorted({"AppID"}));
    }
    EXPECT_EQ(registrar_.RegisterResource(module, 103), framework::kMalformedRegistryScript);
    EXPECT_EQ(registrar_.RegisterResource(module, 999),
              HRESULT_FROM_WIN32(ERROR_RESOURCE_NAME_NOT_FOUND));
    EXPECT_EQ(Classes(), Sorted({"AppID"}));
}

}  // namespace
