// Builds the command line that starts the registered web browser with one page address. Pure
// text work, apart from Win32, so that every template shape can be tested over a table.
#pragma once

#include <cstddef>
#include <functional>
#include <string>

namespace common {

// The longest command line CreateProcess accepts, in characters without the terminating NUL.
constexpr std::size_t kMaxCommandLineLength = 32766;

// True for an absolute "http://" or "https://" address (scheme in any letter case) with
// something after the "//". Nothing else is ever handed to the browser: another scheme could
// run script or open local files, and a relative text could read as a switch or a path.
bool IsWebAddress(const std::string& url);

// Percent-encodes every byte that could end or split a command-line argument: blank, tab,
// double quote, backslash (the argument parser's escape) and the control bytes 0x00-0x1F and
// 0x7F. Bytes from 0x80 up pass unchanged so that 8-bit page addresses keep working, and an
// existing '%' stays as it is, since the address may already be encoded.
std::string EncodeUrlAsArgument(const std::string& url);

// The full path of the program file that a name stands for, as the system's search for a
// program finds it (".exe" added when the name has no extension); empty when there is none.
using ProgramSearch = std::function<std::string(const std::string& name)>;

// Fills commandLine from the ".htm" open command template and the page address: the program
// path stays quoted (or gets quoted when it holds blanks), the encoded address replaces the
// first "%1" after the program path or, without one, follows the template after one blank.
// An address outside the template's quotes gets quotes of its own, so that a command
// interpreter running the line takes '&', '|', '^', '<' and '>' in it as text. Where the line
// runs through the interpreter (cmd, or a ".bat" or ".cmd" script), every '%' of the address
// goes as "%25" as well, so that no "%NAME%" in it is expanded; and a command after cmd's /c or
// /k that starts with a quote gets one more pair of quotes around it, which cmd takes off.
// An unquoted program path that neither ends in ".exe" nor is free of blanks is looked up
// with findProgram: every run of words from the start is a candidate, and when exactly one
// names a program, that program's full path stands on the line.
// Returns false, leaving commandLine empty, when nothing must be started: the address is not a
// web address, the program path is missing or ambiguous, or the result would be too long.
bool BuildBrowserCommandLine(const std::string& commandTemplate, const std::string& url,
                             std::string& commandLine, const ProgramSearch& findProgram = {});

}  // namespace common
