// The registration-script parser on the scripts both deliverables carry, on quoting and
// placeholders, and on malformed texts with the position of their fault.
#include "framework/registration/registry_script.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/registration_scripts.h"

using framework::KeyDisposition;
using framework::ParseRegistryScript;
using framework::RegistryRoot;
using framework::RegistryScript;
using framework::ScriptKey;
using framework::ScriptParseResult;
using framework::ScriptReplacements;
using framework::ScriptValue;

namespace {

using testing_support::kAppIdScript;
using testing_support::kClassScript;

const ScriptReplacements kReplacements = {
    {"APPID", testing_support::kScriptAppId},
    {"CLSID", testing_support::kScriptClsid},
    {"LIBID", testing_support::kScriptLibId},
    {"MODULE", testing_support::kScriptModule},
};

const char* DispositionName(KeyDisposition disposition) {
    switch (disposition) {
        case KeyDisposition::Normal:
            return "";
        case KeyDisposition::NoRemove:
            return " [NoRemove]";
        case KeyDisposition::ForceRemove:
            return " [ForceRemove]";
        case KeyDisposition::Delete:
            return " [Delete]";
    }
    return " [?]";
}

const char* RootName(RegistryRoot root) {
    switch (root) {
        case RegistryRoot::ClassesRoot:
            return "HKCR";
        case RegistryRoot::CurrentUser:
            return "HKCU";
        case RegistryRoot::LocalMachine:
            return "HKLM";
    }
    return "?";
}

// One line per key and per value, depth first, so a whole tree compares as a list.
void Flatten(const ScriptKey& key, const std::string& parent, std::vector<std::string>& lines) {
    const std::string path = parent + "\\" + key.name;
    lines.push_back(path + DispositionName(key.disposition));
    for (const ScriptValue& value : key.values) {
        const std::string name = value.name.empty() ? "@" : value.name;
        if (value.type == ScriptValue::Type::String) {
            lines.push_back(path + " " + name + " = s '" + value.text + "'");
        } else {
            lines.push_back(path + " " + name + " = d " + std::to_string(value.number));
        }
    }
    for (const ScriptKey& subkey : key.subkeys) Flatten(subkey, path, lines);
}

std::vector<std::string> Flatten(const RegistryScript& script) {
    std::vector<std::string> lines;
    for (const auto& root : script.roots) {
        lines.push_back(RootName(root.root));
        for (const ScriptKey& key : root.keys) Flatten(key, RootName(root.root), lines);
    }
    return lines;
}

std::vector<std::string> ParseToLines(const std::string& text,
                                      const ScriptReplacements& replacements = kReplacements) {
    const ScriptParseResult result = ParseRegistryScript(text, replacements);
    EXPECT_TRUE(result.ok) << result.error.Describe();
    return Flatten(result.script);
}

TEST(RegistryScriptParser, AppIdScriptGivesTheTreeWithPlaceholdersReplaced) {
    const std::vector<std::string> expected = {
        "HKCR",
        "HKCR\\AppID [NoRemove]",
        "HKCR\\AppID\\{EEC8985A-0BBA-4C00-8039-83C8FF96D600}",
        "HKCR\\AppID\\{EEC8985A-0BBA-4C00-8039-83C8FF96D600} @ = s 'Corvane'",
        "HKCR\\AppID\\Corvane.DLL",
        "HKCR\\AppID\\Corvane.DLL AppID = s '{EEC8985A-0BBA-4C00-8039-83C8FF96D600}'",
    };
    EXPECT_EQ(ParseToLines(kAppIdScript), expected);
}

TEST(RegistryScriptParser, ClassScriptGivesProgIdsAndTheClassKeyWithItsFlags) {
    const std::string clsid = "HKCR\\CLSID\\{AAC92832-A14C-4DCC-BE2E-EEEED1E443E9}";
    const std::vector<std::string> expected = {
        "HKCR",
        "HKCR\\Corvane.TavrelloIE.1",
        "HKCR\\Corvane.TavrelloIE.1 @ = s 'CTavrelloIE Object'",
        "HKCR\\Corvane.TavrelloIE.1\\CLSID",
        "HKCR\\Corvane.TavrelloIE.1\\CLSID @ = s '{AAC92832-A14C-4DCC-BE2E-EEEED1E443E9}'",
        "HKCR\\Corvane.TavrelloIE",
        "HKCR\\Corvane.TavrelloIE @ = s 'CTavrelloIE Object'",
        "HKCR\\Corvane.TavrelloIE\\CLSID",
        "HKCR\\Corvane.TavrelloIE\\CLSID @ = s '{AAC92832-A14C-4DCC-BE2E-EEEED1E443E9}'",
        "HKCR\\Corvane.TavrelloIE\\CurVer",
        "HKCR\\Corvane.TavrelloIE\\CurVer @ = s 'Corvane.TavrelloIE.1'",
        "HKCR\\CLSID [NoRemove]",
        clsid + " [ForceRemove]",
        clsid + " @ = s 'CTavrelloIE Object'",
        clsid + " AppID = s '{EEC8985A-0BBA-4C00-8039-83C8FF96D600}'",
        clsid + "\\ProgID",
        clsid + "\\ProgID @ = s 'Corvane.TavrelloIE.1'",
        clsid + "\\VersionIndependentProgID",
        clsid + "\\VersionIndependentProgID @ = s 'Corvane.TavrelloIE'",
        clsid + "\\Programmable [ForceRemove]",
        clsid + "\\InprocServer32",
        clsid + "\\InprocServer32 @ = s 'C:\\Program Files\\Orvek\\Corvane.dll'",
        clsid + "\\InprocServer32 ThreadingModel = s 'apartment'",
        clsid + "\\TypeLib",
        clsid + "\\TypeLib @ = s '{6C2A9A37-810E-4AAC-A0CB-AC89C6BC40F5}'",
    };
    EXPECT_EQ(ParseToLines(kClassScript), expected);
}

TEST(RegistryScriptParser, QuotingKeywordsTypesAndRootsAreRead) {
    struct Case {
        const char* script;
        std::vector<std::string> lines;
    };
    const Case cases[] = {
        {"HKCR { 'It''s' = s 'Ann''s page' }",
         {"HKCR", "HKCR\\It's", "HKCR\\It's @ = s 'Ann's page'"}},
        {"HKCR { k = s '''' }", {"HKCR", "HKCR\\k", "HKCR\\k @ = s '''"}},
        {"HKCR { k = s '' }", {"HKCR", "HKCR\\k", "HKCR\\k @ = s ''"}},
        {"HKCR { 'has blanks and = sign' }", {"HKCR", "HKCR\\has blanks and = sign"}},
        // Quoted keywords are names; bare keywords in any case are keywords.
        {"HKCR { 'NoRemove' { 'val' } }", {"HKCR", "HKCR\\NoRemove", "HKCR\\NoRemove\\val"}},
        {"hkcr { noremove k { VAL v = S 'x' } }",
         {"HKCR", "HKCR\\k [NoRemove]", "HKCR\\k v = s 'x'"}},
        {"HKCR { k { val n = d '42' val h = d '0x1F' val m = d '4294967295' } }",
         {"HKCR", "HKCR\\k", "HKCR\\k n = d 42", "HKCR\\k h = d 31", "HKCR\\k m = d 4294967295"}},
        {"HKCR { k { val '' = s 'default through val' } }",
         {"HKCR", "HKCR\\k", "HKCR\\k @ = s 'default through val'"}},
        {"HKCR { NoRemove p { Delete old ForceRemove new } }",
         {"HKCR", "HKCR\\p [NoRemove]", "HKCR\\p\\old [Delete]", "HKCR\\p\\new [ForceRemove]"}},
        // Braces glued to each other close blocks; a brace that starts a longer word is a name.
        {"HKCR { a { {b} } }", {"HKCR", "HKCR\\a", "HKCR\\a\\{b}"}},
        {"HKCR { a { b }}", {"HKCR", "HKCR\\a", "HKCR\\a\\b"}},
        {"HKEY_CURRENT_USER { u } HKLM { m } HKEY_CLASSES_ROOT { c } HKCU { } "
         "HKEY_LOCAL_MACHINE { }",
         {"HKCU", "HKCU\\u", "HKLM", "HKLM\\m", "HKCR", "HKCR\\c", "HKCU", "HKLM"}},
        {"", {}},
        {"  \r\n\t ", {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.script);
        const ScriptParseResult result = ParseRegistryScript(c.script, kReplacements);
        ASSERT_TRUE(result.ok) << result.error.Describe();
        EXPECT_EQ(Flatten(result.script), c.lines);
    }
}

TEST(RegistryScriptParser, PlaceholdersAreReplacedInNamesAndTexts) {
    const ScriptReplacements replacements = {
        {"CLSID", "{1}"}, {"MODULE", "C:\\it's here\\x.dll"}, {"EMPTY", ""}, {"A", "%B%"}};
    EXPECT_EQ(ParseToLines("HKCR { %CLSID%\\sub = s '%MODULE%' }", replacements),
              (std::vector<std::string>{"HKCR", "HKCR\\{1}\\sub",
                                        "HKCR\\{1}\\sub @ = s 'C:\\it's here\\x.dll'"}));
    EXPECT_EQ(ParseToLines("HKCR { k = s '100%% [%EMPTY%] %A%' }", replacements),
              (std::vector<std::string>{"HKCR", "HKCR\\k", "HKCR\\k @ = s '100% [] %B%'"}))
        << "%% gives one percent sign and replacement texts are not scanned again";
}

TEST(RegistryScriptParser, MalformedScriptsReportWhereAndWhat) {
    struct Case {
        const char* script;
        int line;
        int column;
        const char* messageStart;
    };
    const Case cases[] = {
        // Missing closing brace: reported at the end, naming the block left open.
        {"HKCR\n{\n    NoRemove AppID\n    {\n        k = s 'v'\n}\n", 7, 1,
         "expected '}' to close the block opened at line 2"},
        {"HKCR\n{\n  k\n  {\n    val AppID s 'x'\n  }\n}", 5, 15,
         "expected '=' after the value name but found 's'"},
        {"HKCR { k { val = s 'x' } }", 1, 16, "expected a value name after 'val'"},
        {"HKCR\n{\n    k = s 'no end\n}\n", 3, 11, "unterminated quoted text"},
        {"HKCR { k = s 'ok' l = s 'open", 1, 25, "unterminated quoted text"},
        {"HKCR { k = x 'text' }", 1, 12, "expected a value type 's' or 'd' but found 'x'"},
        {"HKCR { k = 'text' }", 1, 12, "expected a value type 's' or 'd' but found quoted"},
        {"HKCR { k = s text }", 1, 14, "expected quoted value data but found 'text'"},
        {"HKCR { k { val n = d 'ten' } }", 1, 22, "'ten' is not a number"},
        {"HKCR { k { val n = d '4294967296' } }", 1, 22, "'4294967296' is not a number"},
        {"HKCR { k { val n = d '' } }", 1, 22, "'' is not a number"},
        // Without blanks the root and its braces are one word.
        {"HKCR{a{b}}", 1, 1, "expected a root key such as HKCR but found 'HKCR{a{b}}'"},
        {"HKXX { }", 1, 1, "expected a root key such as HKCR but found 'HKXX'"},
        {"HKCR k = s 'v'", 1, 6, "expected '{' after the root key but found 'k'"},
        {"HKCR { = s 'v' }", 1, 8, "expected a key name but found '='"},
        {"HKCR { NoRemove }", 1, 17, "expected a key name but found '}'"},
        {"HKCR { '' = s 'v' }", 1, 8, "empty key name"},
        {"HKCR { val v = s 'x' }", 1, 8, "expected a key name (values belong inside a key)"},
        {"HKCR { Delete old = s 'x' }", 1, 19, "a Delete key takes no value"},
        {"HKCR { Delete old { } }", 1, 19, "a Delete key takes no block"},
        {"HKCR { } }", 1, 10, "expected a root key such as HKCR but found '}'"},
        {"HKCR { k = s 'v' } {", 1, 20, "expected a root key"},
        {"HKCR {\n  k = s 'a %UNKNOWN% b'\n}", 2, 12, "unknown placeholder %UNKNOWN%"},
        {"HKCR {\n  %NOPE%\\x\n}", 2, 3, "unknown placeholder %NOPE%"},
        {"HKCR { k = s '50% off' }", 1, 17, "'%' without a closing '%'"},
        {"HKCR { k = s 'I''m %UNKNOWN%' }", 1, 20, "unknown placeholder %UNKNOWN%"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.script);
        const ScriptParseResult result = ParseRegistryScript(c.script, kReplacements);
        ASSERT_FALSE(result.ok);
        EXPECT_TRUE(result.script.roots.empty()) << "a failed parse hands out no partial tree";
        EXPECT_EQ(result.error.line, c.line);
        EXPECT_EQ(result.error.column, c.column);
        EXPECT_EQ(result.error.message.rfind(c.messageStart, 0), 0u) << result.error.message;
    }
}

TEST(RegistryScriptParser, ErrorDescriptionNamesLineAndColumn) {
    const ScriptParseResult result = ParseRegistryScript("HKCR {\n  k = q 'v' }", {});
    ASSERT_FALSE(result.ok);
    EXPECT_EQ(result.error.Describe(),
              "line 2, column 7: expected a value type 's' or 'd' but found 'q'");
}

}  // namespace
