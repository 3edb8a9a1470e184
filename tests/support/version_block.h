// A file's version resource read through the system's version functions: the fixed numbers and
// the texts of a string block.
#pragma once

#include <windows.h>

#include <map>
#include <string>
#include <vector>

namespace testing_support {

class VersionBlock {
public:
    explicit VersionBlock(const std::string& path);

    // Whether the file has a version resource at all.
    bool Found() const { return !data_.empty(); }
    // The fixed part; null when it is missing or too short.
    const VS_FIXEDFILEINFO* Fixed() const;
    // The fixed file and product versions as "major.minor.build.revision"; empty without them.
    std::string FixedFileVersion() const;
    std::string FixedProductVersion() const;
    // The block name ("040904b0") of the first language and code page the file lists; empty
    // when it lists none.
    std::string FirstTranslation() const;
    // A text of a string block, "<none>" when it is missing.
    std::string Text(const std::string& block, const std::string& name) const;
    // The usual texts of a string block (company, product, names, description, versions) by
    // name; those missing are left out.
    std::map<std::string, std::string> UsualTexts(const std::string& block) const;

private:
    std::vector<BYTE> data_;
};

}  // namespace testing_support
