// Splits a Windows command line into its arguments by the rules of the Microsoft C runtime
// (the rules every browser's main() sees), so that a fuzz target can tell how many arguments a
// built command line really holds.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace fuzz_support {

// The program name: up to the next double quote when the line starts with one (no escapes
// there), else up to the first blank or tab. The arguments: blanks and tabs separate them
// outside quotes; a double quote toggles quoting; 2n backslashes before a quote give n
// backslashes and the quote acts, 2n+1 give n backslashes and a literal quote; two quotes in a
// row inside quotes give one literal quote; other backslashes are literal.
std::vector<std::string> SplitCommandLine(std::string_view commandLine);

}  // namespace fuzz_support
