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

}  // namespace testing_support
