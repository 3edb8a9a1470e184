// Registration scripts: the parser must refuse malformed text with a position inside it, and
// whatever it accepts must mean the same when written out again and read back.
#include <algorithm>
#include <cstdint>
#include <string>
#include <string_view>

#include "framework/registration/registry_script.h"
#include "tests/fuzz/fuzz_check.h"

namespace {

using framework::KeyDisposition;
using framework::RegistryRoot;
using framework::RegistryScript;
using framework::ScriptKey;
using framework::ScriptValue;

std::string Quoted(const std::string& text) {
    std::string quoted = "'";
    for (const char c : text) {
        if (c == '\'')
            quoted += "''";
        else if (c == '%')
            quoted += "%%";
        else
            quoted += c;
    }
    return quoted + "'";
}

std::string Data(const ScriptValue& value) {
    return value.type == ScriptValue::Type::String ? "s " + Quoted(value.text)
                                                   : "d '" + std::to_string(value.number) + "'";
}

void WriteKey(const ScriptKey& key, std::string& out) {
    switch (key.disposition) {
        case KeyDisposition::NoRemove:
            out += "NoRemove ";
            break;
        case KeyDisposition::ForceRemove:
            out += "ForceRemove ";
            break;
        case KeyDisposition::Delete:
            out += "Delete ";
            break;
        case KeyDisposition::Normal:
            break;
    }
    out += Quoted(key.name);
    size_t first = 0;
    if (!key.values.empty() && key.values[0].name.empty()) {
        out += " = " + Data(key.values[0]);
        first = 1;
    }
    if (key.disposition == KeyDisposition::Delete) {
        out += '\n';
        return;
    }
    out += "\n{\n";
    for (size_t i = first; i < key.values.size(); ++i) {
        out += "val " + Quoted(key.values[i].name) + " = " + Data(key.values[i]) + "\n";
    }
    for (const ScriptKey& subkey : key.subkeys) WriteKey(subkey, out);
    out += "}\n";
}

std::string Write(const RegistryScript& script) {
    std::string out;
    for (const auto& root : script.roots) {
        out += root.root == RegistryRoot::ClassesRoot   ? "HKCR\n{\n"
               : root.root == RegistryRoot::CurrentUser ? "HKEY_CURRENT_USER\n{\n"
                                                        : "hklm\n{\n";
        for (const ScriptKey& key : root.keys) WriteKey(key, out);
        out += "}\n";
    }
    return out;
}

bool Same(const ScriptValue& a, const ScriptValue& b) {
    return a.name == b.name && a.type == b.type &&
           (a.type == ScriptValue::Type::String ? a.text == b.text : a.number == b.number);
}

bool Same(const ScriptKey& a, const ScriptKey& b) {
    if (a.name != b.name || a.disposition != b.disposition) return false;
    if (a.values.size() != b.values.size() || a.subkeys.size() != b.subkeys.size()) return false;
    for (size_t i = 0; i < a.values.size(); ++i) {
        if (!Same(a.values[i], b.values[i])) return false;
    }
    for (size_t i = 0; i < a.subkeys.size(); ++i) {
        if (!Same(a.subkeys[i], b.subkeys[i])) return false;
    }
    return true;
}

bool Same(const RegistryScript& a, const RegistryScript& b) {
    if (a.roots.size() != b.roots.size()) return false;
    for (size_t r = 0; r < a.roots.size(); ++r) {
        if (a.roots[r].root != b.roots[r].root) return false;
        if (a.roots[r].keys.size() != b.roots[r].keys.size()) return false;
        for (size_t i = 0; i < a.roots[r].keys.size(); ++i) {
            if (!Same(a.roots[r].keys[i], b.roots[r].keys[i])) return false;
        }
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const framework::ScriptReplacements replacements = {
        {"MODULE", "C:\\Program Files\\Tavrello\\Corvane.dll"},
        {"APPID", "{2F4A6C8E-1B3D-4E5F-8A9B-0C1D2E3F4A5B}"},
        {"CLSID", "{8D2B4F60-3A1C-4E7D-9B0A-5C6D7E8F9012}"},
        {"LIBID", "{4C3B2A19-0F8E-4D7C-A6B5-948372615A0B}"},
        {"Q", "it's 100%"},
    };
    const framework::ScriptParseResult result = framework::ParseRegistryScript(text, replacements);
    if (!result.ok) {
        FUZZ_CHECK(result.script.roots.empty());
        FUZZ_CHECK(!result.error.message.empty());
        // The fault is placed inside the text, or just after its last character.
        int lines = 1;
        size_t lineStart = 0;
        for (size_t i = 0; i < text.size(); ++i) {
            if (text[i] == '\n') {
                ++lines;
                if (lines == result.error.line) lineStart = i + 1;
            }
        }
        FUZZ_CHECK(result.error.line >= 1 && result.error.line <= lines);
        const size_t lineEnd = std::min(text.find('\n', lineStart), text.size());
        FUZZ_CHECK(result.error.column >= 1 &&
                   static_cast<size_t>(result.error.column) <= lineEnd - lineStart + 1);
        return 0;
    }
    const std::string written = Write(result.script);
    const framework::ScriptParseResult again = framework::ParseRegistryScript(written, {});
    if (!again.ok)
        std::fprintf(stderr, "%s\n%s\n", written.c_str(), again.error.Describe().c_str());
    FUZZ_CHECK(again.ok);
    FUZZ_CHECK(Same(again.script, result.script));
    return 0;
}
