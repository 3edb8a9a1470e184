// Builds the command line that starts the registered web browser with one page address. Pure
// text work, apart from Win32, so that every template shape can be tested over a table.
#pragma once

#include <cstddef>
#include <functional>
#include <string>

namespace common {

// The longest command line CreateProcess accepts, in characters without the terminating NUL.
constexpr std::size_t kMaxCommandLineLength = 32766;
// The longest line cmd runs once its variables are expanded; it refuses a longer one.
constexpr std::size_t kMaxInterpreterLineLength = 8191;

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

// What starts the browser: the command line and, where that line runs through the command
// interpreter, the variable of the new process's environment that holds the address.
struct BrowserCommand {
    std::string commandLine;
    std::string variableName;  // empty: the new process gets the caller's environment
    std::string variableValue;
};

// The variable that carries the address to the interpreter; its value is never rescanned there.
constexpr const char kAddressVariable[] = "TAVRELLO_PAGE_ADDRESS";

// Fills command from the ".htm" open command template and the page address: the program path
// stays quoted (or gets quoted when it holds blanks), the encoded address replaces the first
// "%1" after the program path or, without one, follows the template after one blank. An
// address outside the template's quotes gets quotes of its own.
// Where the line runs through the interpreter (the program is cmd, or a ".bat" or ".cmd"
// script), the line names kAddressVariable instead of holding the address, so that nothing in
// the address is expanded; the value keeps the address's valid escapes, with any other '%' as
// "%25" and '!' as "%21". The command after cmd's /c, /k or /r gets one more pair of quotes
// around it, which cmd takes off; a template already quoted that way ("/c ""prog" "%1""") is
// taken as cmd reads it.
// Where the interpreter expands a variable's value once more (Wine's cmd does), the caller
// passes the environment the new process gets as rescanningEnvironment: a valid escape that
// would then begin the name of a variable known there (or of one of cmd's own, "%CD%") goes as
// "%25" too.
// An unquoted program path that neither ends in ".exe" nor is free of blanks is looked up
// with findProgram: every run of words from the start is a candidate, and when exactly one
// names a program, that program's full path stands on the line.
// Returns false, leaving command empty, when nothing must be started: the address is not a
// web address, the program path is missing or ambiguous, cmd is given no command or one that
// would leave the address outside quotes, or the result would be too long (for cmd, the line
// with the address in it).
bool BuildBrowserCommand(const std::string& commandTemplate, const std::string& url,
                         BrowserCommand& command, const ProgramSearch& findProgram = {},
                         const std::string* rescanningEnvironment = nullptr);

// A copy of an environment block ("NAME=value" texts, each ending in NUL, the block in one more
// NUL) with name set to value: an entry of that name (in any letter case) is dropped and the new
// one goes where the names' order puts it, so the block stays sorted as the system keeps it.
std::string EnvironmentBlockWith(const std::string& block, const std::string& name,
                                 const std::string& value);

}  // namespace common
