#include "tests/support/version_block.h"

#include <cstdio>

namespace testing_support {

VersionBlock::VersionBlock(const std::string& path) {
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeA(path.c_str(), &ignored);
    if (size == 0) return;
    data_.resize(size);
    if (!GetFileVersionInfoA(path.c_str(), 0, size, data_.data())) data_.clear();
}

const VS_FIXEDFILEINFO* VersionBlock::Fixed() const {
    if (data_.empty()) return nullptr;
    void* fixed = nullptr;
    UINT length = 0;
    if (!VerQueryValueA(data_.data(), "\\", &fixed, &length) || length < sizeof(VS_FIXEDFILEINFO))
        return nullptr;
    return static_cast<const VS_FIXEDFILEINFO*>(fixed);
}

namespace {

std::string Dotted(DWORD high, DWORD low) {
    char text[32];
    std::snprintf(text, sizeof text, "%u.%u.%u.%u", HIWORD(high), LOWORD(high), HIWORD(low),
                  LOWORD(low));
    return text;
}

}  // namespace

std::string VersionBlock::FixedFileVersion() const {
    const VS_FIXEDFILEINFO* fixed = Fixed();
    return fixed ? Dotted(fixed->dwFileVersionMS, fixed->dwFileVersionLS) : "";
}

std::string VersionBlock::FixedProductVersion() const {
    const VS_FIXEDFILEINFO* fixed = Fixed();
    return fixed ? Dotted(fixed->dwProductVersionMS, fixed->dwProductVersionLS) : "";
}

std::string VersionBlock::FirstTranslation() const {
    if (data_.empty()) return "";
    void* pairs = nullptr;
    UINT length = 0;
    if (!VerQueryValueA(data_.data(), "\\VarFileInfo\\Translation", &pairs, &length) ||
        length < 2 * sizeof(WORD)) {
        return "";
    }
    const WORD* translation = static_cast<const WORD*>(pairs);
    char block[16];
    std::snprintf(block, sizeof block, "%04x%04x", translation[0], translation[1]);
    return block;
}

std::string VersionBlock::Text(const std::string& block, const std::string& name) const {
    if (data_.empty()) return "<none>";
    const std::string query = "\\StringFileInfo\\" + block + "\\" + name;
    void* value = nullptr;
    UINT length = 0;
    if (!VerQueryValueA(data_.data(), query.c_str(), &value, &length) || !value) return "<none>";
    return static_cast<const char*>(value);
}

std::map<std::string, std::string> VersionBlock::UsualTexts(const std::string& block) const {
    std::map<std::string, std::string> texts;
    for (const char* name : {"CompanyName", "ProductName", "InternalName", "OriginalFilename",
                             "FileDescription", "FileVersion", "ProductVersion"}) {
        const std::string text = Text(block, name);
        if (text != "<none>") texts[name] = text;
    }
    return texts;
}

}  // namespace testing_support
