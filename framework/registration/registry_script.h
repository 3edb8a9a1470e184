// Registration scripts: the text of a module's "REGISTRY" resource, parsed into a tree of keys
// and values with every %NAME% placeholder already replaced. Pure C++, so that the grammar can
// be tested anywhere; framework/registration/registrar.h applies the tree to the registry.
//
// Grammar (keywords, root names and type letters in any letter case):
//   script  := root*
//   root    := ("HKCR" | "HKCU" | "HKLM" | "HKEY_CLASSES_ROOT" | ...) "{" key* "}"
//   key     := [ "NoRemove" | "ForceRemove" | "Delete" ] name [ "=" value ] [ "{" body "}" ]
//   body    := ( key | "val" name "=" value )*
//   value   := ( "s" | "d" ) quoted          s: text, d: a DWORD in decimal or 0x hex
//   name    := bare word | quoted
// A quoted text is enclosed in single quotes, '' standing for one quote, and ends on its own
// line. A bare word runs to the next blank, '=' or quote; braces that open or close a block
// stand apart from names (so "{clsid}" is a name, "{" a block). A quoted name is never a
// keyword. %NAME% is replaced in names and texts from the caller's map, %% gives one percent
// sign; an unknown placeholder is an error. A Delete key names a key to remove and carries
// neither a value nor a block.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace framework {

enum class RegistryRoot { ClassesRoot, CurrentUser, LocalMachine };

enum class KeyDisposition {
    Normal,       // created on register; removed on unregister once it holds nothing else
    NoRemove,     // created on register, never removed; its script children still are
    ForceRemove,  // replaced whole on register, removed with its subtree on unregister
    Delete,       // removed with its subtree on register, left alone on unregister
};

struct ScriptValue {
    enum class Type { String, Dword };
    std::string name;  // empty: the key's default value
    Type type = Type::String;
    std::string text;     // for String
    uint32_t number = 0;  // for Dword
};

struct ScriptKey {
    std::string name;
    KeyDisposition disposition = KeyDisposition::Normal;
    std::vector<ScriptValue> values;  // the default value, when given, comes first
    std::vector<ScriptKey> subkeys;
};

struct ScriptRoot {
    RegistryRoot root = RegistryRoot::ClassesRoot;
    std::vector<ScriptKey> keys;
};

struct RegistryScript {
    std::vector<ScriptRoot> roots;
};

struct ScriptError {
    int line = 0;    // 1-based
    int column = 0;  // 1-based
    std::string message;

    // "line 3, column 9: expected '=' after the value name"
    std::string Describe() const;
};

// Placeholder name (without the percent signs) to its replacement text.
using ScriptReplacements = std::map<std::string, std::string>;

struct ScriptParseResult {
    bool ok = false;
    RegistryScript script;  // complete when ok
    ScriptError error;      // the first fault when not ok
};

ScriptParseResult ParseRegistryScript(std::string_view text,
                                      const ScriptReplacements& replacements);

}  // namespace framework
