// A stand-in browser for launcher tests: appends how it was started (its raw command line, the
// image that actually runs, and argv as the C runtime split it) to the file named by
// TAVRELLO_RECORD_ARGS_FILE, as one record written in one piece, then exits.
//
// Record format, one field per line, with '\\', '\n' and '\r' escaped as \\, \n and \r:
//   commandline=<GetCommandLineA>
//   module=<GetModuleFileNameA>
//   arg=<argv[i]>            (once per argument, argv[0] included)
//   end
#include <windows.h>

#include <string>

namespace {

std::string Escape(const std::string& text) {
    std::string escaped;
    for (char c : text) {
        if (c == '\\') {
            escaped += "\\\\";
        } else if (c == '\n') {
            escaped += "\\n";
        } else if (c == '\r') {
            escaped += "\\r";
        } else {
            escaped += c;
        }
    }
    return escaped;
}

std::string ModulePath() {
    std::string path(MAX_PATH * 4, '\0');
    const DWORD length = GetModuleFileNameA(nullptr, path.data(), static_cast<DWORD>(path.size()));
    path.resize(length);
    return path;
}

}  // namespace

int main(int argc, char** argv) {
    char recordPath[MAX_PATH * 4];
    const DWORD pathLength =
        GetEnvironmentVariableA("TAVRELLO_RECORD_ARGS_FILE", recordPath, sizeof recordPath);
    if (pathLength == 0 || pathLength >= sizeof recordPath) return 2;

    std::string record = "commandline=" + Escape(GetCommandLineA()) + "\n";
    record += "module=" + Escape(ModulePath()) + "\n";
    for (int i = 0; i < argc; ++i) record += "arg=" + Escape(argv[i]) + "\n";
    record += "end\n";

    // FILE_APPEND_DATA alone makes every write land at the end, so records never interleave.
    HANDLE file = CreateFileA(recordPath, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return 3;
    DWORD written = 0;
    const BOOL ok =
        WriteFile(file, record.data(), static_cast<DWORD>(record.size()), &written, nullptr);
    CloseHandle(file);
    return ok && written == record.size() ? 0 : 4;
}
