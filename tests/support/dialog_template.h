// An extended dialog template (DLGTEMPLATEEX) as the dialog manager reads it from a module's
// resources, taken apart field by field, so that a test can compare it with what it should hold.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace testing_support {

struct TemplateItem {
    DWORD style = 0;
    DWORD exStyle = 0;
    RECT units = {};  // left, top, width, height in dialog units
    int id = 0;
    std::string windowClass;  // "#n" for a predefined class atom
    std::string text;         // "#n" for a resource ordinal
};

struct DialogTemplate {
    DWORD style = 0;
    DWORD exStyle = 0;
    RECT units = {};
    std::string menu;
    std::string windowClass;
    std::string caption;
    int pointSize = 0;
    std::string typeface;
    std::vector<TemplateItem> items;
};

// Atoms of the predefined control classes in a template.
constexpr char kButtonAtom[] = "#128";
constexpr char kEditAtom[] = "#129";
constexpr char kStaticAtom[] = "#130";

// Reads dialog resource id of module; false when it is missing, not in the extended form or cut
// short.
bool ReadDialogTemplate(HMODULE module, int id, DialogTemplate& dialog);

}  // namespace testing_support
