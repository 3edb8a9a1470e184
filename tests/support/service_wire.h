// The Tavrello service's wire contract as the tests name it, for the native service tests and
// the Windows tests alike (header-only, standard C++): its request paths and a file helper.
#pragma once

#include <fstream>
#include <iterator>
#include <string>

namespace testing_support {

constexpr char kCategoriesPath[] = "/plugin/getcatagories.php";
constexpr char kAddUrlPath[] = "/plugin/addurl.php";
constexpr char kWebPagePath[] = "/plugin/getwebpage.php";
constexpr char kUserPagePath[] = "/plugin/zephlist.php";
constexpr char kLoginPath[] = "/zephlist/login.php";

// The bytes of a file; empty when it cannot be read.
inline std::string ReadWholeFile(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

}  // namespace testing_support
