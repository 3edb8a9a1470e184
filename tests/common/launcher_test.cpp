// OpenInDefaultBrowser for real: HKEY_CLASSES_ROOT is redirected to a scratch key holding a
// ".htm" class whose open command starts record_args.exe, which writes down how it was started.
#include "common/launcher.h"

#include "common/browser_command_line.h"
#include "tests/common/interpreter_cases.h"
#include "tests/support/registry_sandbox.h"
#include "tests/support/service_wire.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <string>
#include <vector>

using testing_support::RegistrySandbox;
using testing_support::SetRawValue;

namespace {

constexpr const char kRecordVariable[] = "TAVRELLO_RECORD_ARGS_FILE";
constexpr const char kPageClass[] = "TavrelloTestPage";
constexpr const char kCommandKey[] = "TavrelloTestPage\\shell\\open\\command";

// Generous: a record that never comes fails the test, one that comes late only slows it.
constexpr DWORD kRecordTimeoutMs = 30000;

struct Record {
    std::string commandLine;
    std::string module;
    std::vector<std::string> args;
};

std::string Unescape(const std::string& text) {
    std::string plain;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\\' && i + 1 < text.size()) {
            const char next = text[++i];
            plain += next == 'n' ? '\n' : next == 'r' ? '\r' : next;
        } else {
            plain += text[i];
        }
    }
    return plain;
}

std::vector<Record> ParseRecords(const std::string& content) {
    std::vector<Record> records;
    Record current;
    size_t start = 0;
    for (size_t end; (end = content.find('\n', start)) != std::string::npos; start = end + 1) {
        const std::string line = content.substr(start, end - start);
        if (line == "end") {
            records.push_back(current);
            current = Record();
        } else if (line.rfind("commandline=", 0) == 0) {
            current.commandLine = Unescape(line.substr(12));
        } else if (line.rfind("module=", 0) == 0) {
            current.module = Unescape(line.substr(7));
        } else if (line.rfind("arg=", 0) == 0) {
            current.args.push_back(Unescape(line.substr(4)));
        }
    }
    return records;
}

std::string Lower(std::string text) {
    CharLowerBuffA(text.data(), static_cast<DWORD>(text.size()));
    return text;
}

std::string Directory(const std::string& path) {
    return path.substr(0, path.rfind('\\') + 1);
}

std::string OwnDirectory() {
    char path[MAX_PATH * 4];
    const DWORD length = GetModuleFileNameA(nullptr, path, sizeof path);
    return Directory(std::string(path, length));
}

class Launcher : public ::testing::Test {
protected:
    void SetUp() override {
        static std::atomic<int> counter{0};
        char temp[MAX_PATH];
        GetTempPathA(sizeof temp, temp);
        workDir_ = std::string(temp) + "tavrello-launcher-" +
                   std::to_string(GetCurrentProcessId()) + "-" + std::to_string(counter++) + "\\";
        ASSERT_TRUE(CreateDirectoryA(workDir_.c_str(), nullptr));
        recordFile_ = workDir_ + "record.txt";
        ASSERT_TRUE(SetEnvironmentVariableA(kRecordVariable, recordFile_.c_str()));
        recorder_ = OwnDirectory() + "record_args.exe";
        ASSERT_NE(GetFileAttributesA(recorder_.c_str()), INVALID_FILE_ATTRIBUTES) << recorder_;
    }

    void TearDown() override {
        SetEnvironmentVariableA(kRecordVariable, nullptr);
        // A recorder that just wrote its record may still hold its image open for a moment.
        for (int attempt = 0; attempt < 100 && !RemoveWorkDir(); ++attempt) Sleep(50);
    }

    void RegisterOpenCommand(const std::string& commandTemplate) {
        SetText(".htm", kPageClass);
        SetText(kCommandKey, commandTemplate);
    }

    // Empties the redirected HKEY_CLASSES_ROOT.
    static void ClearClasses() {
        for (const char* key : {".htm", kPageClass, "shell"})
            RegDeleteTreeA(HKEY_CLASSES_ROOT, key);
    }

    static void SetText(const std::string& path, const std::string& text) {
        SetRawValue(HKEY_CLASSES_ROOT, path, "", REG_SZ,
                    std::string(text.c_str(), text.size() + 1));
    }

    // Copies the recorder to workDir_ + relativePath, creating the folder it names.
    std::string PlaceRecorder(const std::string& relativePath) {
        const std::string target = workDir_ + relativePath;
        CreateDirectoryA(Directory(target).c_str(), nullptr);
        EXPECT_TRUE(CopyFileA(recorder_.c_str(), target.c_str(), FALSE)) << target;
        created_.push_back(target);
        return target;
    }

    // The records written so far once count of them are there, or when timeoutMs is over.
    std::vector<Record> CollectRecords(size_t count, DWORD timeoutMs) {
        const DWORD start = GetTickCount();
        std::vector<Record> records;
        do {
            records = ParseRecords(testing_support::ReadWholeFile(recordFile_));
            if (records.size() >= count) break;
            Sleep(20);
        } while (GetTickCount() - start < timeoutMs);
        return records;
    }

    std::vector<Record> WaitForRecords(size_t count) {
        std::vector<Record> records = CollectRecords(count, kRecordTimeoutMs);
        if (records.size() >= count) return records;
        ADD_FAILURE() << "no record from the started program";
        return {};
    }

    // Registers the template, opens the address and takes the record of the one program that
    // starts; false when no single record with its arguments comes.
    bool LaunchOnce(const std::string& commandTemplate, const std::string& url, Record& record) {
        RegisterOpenCommand(commandTemplate);
        DeleteFileA(recordFile_.c_str());
        common::OpenInDefaultBrowser(url.c_str());
        const std::vector<Record> records = WaitForRecords(1);
        EXPECT_EQ(records.size(), 1u);
        if (records.size() != 1 || records[0].args.empty()) return false;
        record = records[0];
        return true;
    }

    bool RecordFileExists() const {
        return GetFileAttributesA(recordFile_.c_str()) != INVALID_FILE_ATTRIBUTES;
    }

    std::string workDir_;
    std::string recordFile_;
    std::string recorder_;
    std::vector<std::string> created_;

private:
    bool RemoveWorkDir() {
        bool removed = true;
        DeleteFileA(recordFile_.c_str());
        for (const std::string& file : created_) {
            if (!DeleteFileA(file.c_str()) && GetLastError() != ERROR_FILE_NOT_FOUND) {
                removed = false;
            }
            RemoveDirectoryA(Directory(file).c_str());
        }
        return removed &&
               (RemoveDirectoryA(workDir_.c_str()) || GetLastError() == ERROR_FILE_NOT_FOUND);
    }

    RegistrySandbox classes_{HKEY_CLASSES_ROOT};
};

struct LaunchCase {
    const char* name;
    std::string templateAfterProgram;  // follows the quoted recorder path
    std::string url;
    std::string expectedTail;       // the command line after the quoted recorder path
    std::vector<std::string> args;  // argv after argv[0]
};

TEST_F(Launcher, StartsTheRegisteredProgramWithTheAddressAsOneArgument) {
    const LaunchCase cases[] = {
        {"quoted placeholder after a switch",
         R"( --flag "%1")",
         "http://127.0.0.1:8080/a?b=1&c=2",
         R"( --flag "http://127.0.0.1:8080/a?b=1&c=2")",
         {"--flag", "http://127.0.0.1:8080/a?b=1&c=2"}},
        {"blanks and quotes stay inside the argument",
         R"( --flag "%1")",
         "http://127.0.0.1/p?q=a b\" --evil \"c",
         R"( --flag "http://127.0.0.1/p?q=a%20b%22%20--evil%20%22c")",
         {"--flag", "http://127.0.0.1/p?q=a%20b%22%20--evil%20%22c"}},
        {"bare placeholder: the address goes in quotes",
         " %1 --after",
         "HTTPS://127.0.0.1/a b",
         " \"HTTPS://127.0.0.1/a%20b\" --after",
         {"HTTPS://127.0.0.1/a%20b", "--after"}},
        {"bare placeholder: separators of a command interpreter stay inside the quotes",
         " %1",
         "http://127.0.0.1/a?b=1&c=2|d^e<f>g",
         " \"http://127.0.0.1/a?b=1&c=2|d^e<f>g\"",
         {"http://127.0.0.1/a?b=1&c=2|d^e<f>g"}},
        {"trailing backslash cannot swallow the closing quote",
         R"( "%1" --after)",
         "http://127.0.0.1/dir\\",
         R"( "http://127.0.0.1/dir%5C" --after)",
         {"http://127.0.0.1/dir%5C", "--after"}},
        {"no placeholder: one blank, then the address in quotes",
         " --flag",
         "http://127.0.0.1/",
         " --flag \"http://127.0.0.1/\"",
         {"--flag", "http://127.0.0.1/"}},
        {"second placeholder stays literal",
         R"( "%1" %1)",
         "http://127.0.0.1/x",
         R"( "http://127.0.0.1/x" %1)",
         {"http://127.0.0.1/x", "%1"}},
        {"8-bit page address",
         " %1",
         "http://127.0.0.1/bl\xE5\xE6r",
         " \"http://127.0.0.1/bl\xE5\xE6r\"",
         {"http://127.0.0.1/bl\xE5\xE6r"}},
    };
    for (const LaunchCase& test : cases) {
        SCOPED_TRACE(test.name);
        const std::string quotedProgram = "\"" + recorder_ + "\"";
        Record record;
        ASSERT_TRUE(LaunchOnce(quotedProgram + test.templateAfterProgram, test.url, record));
        EXPECT_EQ(record.commandLine, quotedProgram + test.expectedTail);
        EXPECT_EQ(Lower(record.module), Lower(recorder_));
        EXPECT_EQ(std::vector<std::string>(record.args.begin() + 1, record.args.end()), test.args);
    }
}

TEST_F(Launcher, ProgramPathWithBlanksStartsExactlyTheRegisteredProgram) {
    const std::string program = PlaceRecorder("Program Files x\\record_args.exe");
    const std::string decoy = PlaceRecorder("Program.exe");
    const std::string url = "http://127.0.0.1/home";

    // The decoy is really in reach: an unquoted path hands it the start.
    {
        std::string unquoted = program + " --flag " + url;
        STARTUPINFOA startup = {};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION started = {};
        ASSERT_TRUE(CreateProcessA(nullptr, unquoted.data(), nullptr, nullptr, FALSE, 0, nullptr,
                                   nullptr, &startup, &started));
        WaitForSingleObject(started.hProcess, kRecordTimeoutMs);
        CloseHandle(started.hThread);
        CloseHandle(started.hProcess);
        const std::vector<Record> records = WaitForRecords(1);
        ASSERT_EQ(records.size(), 1u);
        ASSERT_EQ(Lower(records[0].module), Lower(decoy)) << "the decoy would not be reached";
        DeleteFileA(recordFile_.c_str());
    }

    const std::string templates[] = {
        "\"" + program + "\" --flag \"%1\"",
        program + " --flag %1",
        program + " --flag",
    };
    for (const std::string& commandTemplate : templates) {
        SCOPED_TRACE(commandTemplate);
        Record record;
        ASSERT_TRUE(LaunchOnce(commandTemplate, url, record));
        EXPECT_EQ(Lower(record.module), Lower(program));
        EXPECT_EQ(Lower(record.args[0]), Lower(program)) << "one argv[0], blanks included";
        EXPECT_EQ(record.args.back(), url);
    }
}

std::string Replaced(std::string text, const std::string& token, const std::string& by) {
    for (size_t at = 0; (at = text.find(token, at)) != std::string::npos; at += by.size()) {
        text.replace(at, token.size(), by);
    }
    return text;
}

// The open command of a system that runs the browser through its command interpreter: the
// browser must get the address as sent, as one argument: nothing in it expanded, and no '&' in it
// ending the command there.
TEST_F(Launcher, CommandInterpreterInTheTemplateHandsOnTheWholeAddress) {
    char system[MAX_PATH];
    ASSERT_GT(GetSystemDirectoryA(system, sizeof system), 0u);
    ASSERT_EQ(recorder_.find(' '), std::string::npos) << "the recorder's path must hold no blank";
    // Where a second command would find the recorder, had the address given cmd one.
    char path[32767];
    const DWORD pathLength = GetEnvironmentVariableA("PATH", path, sizeof path);
    ASSERT_TRUE(pathLength > 0 && pathLength < sizeof path);
    ASSERT_TRUE(SetEnvironmentVariableA("PATH", (OwnDirectory() + ";" + path).c_str()));
    // Wine's cmd expands a variable's value once more; the launcher guards against that there.
    const HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    const bool wine = ntdll && GetProcAddress(ntdll, "wine_get_version");
    for (const common_testing::InterpreterCase& test : common_testing::kInterpreterCases) {
        if (!test.endToEnd) continue;
        SCOPED_TRACE(test.name);
        const std::string commandTemplate =
            Replaced(Replaced(test.commandTemplate, "CMD", std::string(system) + "\\cmd.exe"),
                     "PROG", recorder_);
        Record record;
        if (!LaunchOnce(commandTemplate, test.url, record)) continue;
        EXPECT_EQ(Lower(record.module), Lower(recorder_));
        const char* value = wine && test.rescannedValue ? test.rescannedValue : test.value;
        EXPECT_EQ(record.args.back(), test.received ? test.received : value);
    }
    SetEnvironmentVariableA("PATH", path);
    char leftOver[2];
    EXPECT_EQ(GetEnvironmentVariableA(common::kAddressVariable, leftOver, sizeof leftOver), 0u)
        << "the variable is the new process's only";
}

// Counts the processes this test process starts from now on: they all join its job. The
// launcher has created its process (or decided not to) by the time it returns, so a count
// taken after the call is final for that call.
DWORD ProcessesStartedSoFar() {
    static const HANDLE job = [] {
        HANDLE created = CreateJobObjectA(nullptr, nullptr);
        AssignProcessToJobObject(created, GetCurrentProcess());
        return created;
    }();
    JOBOBJECT_BASIC_ACCOUNTING_INFORMATION accounting = {};
    if (!QueryInformationJobObject(job, JobObjectBasicAccountingInformation, &accounting,
                                   sizeof accounting, nullptr)) {
        ADD_FAILURE() << "no process accounting";
    }
    return accounting.TotalProcesses;
}

TEST_F(Launcher, UnquotedProgramWithoutExtensionIsFoundOnTheSearchPathWhenItIsTheOnlyOne) {
    const std::string url = "http://127.0.0.1/found";
    // The recorder sits beside this test: the search path's first place.
    const std::string started[] = {"record_args --flag %1", "record_args url.dll,Open %1",
                                   "RECORD_ARGS"};
    for (const std::string& commandTemplate : started) {
        SCOPED_TRACE(commandTemplate);
        Record record;
        ASSERT_TRUE(LaunchOnce(commandTemplate, url, record));
        EXPECT_EQ(Lower(record.module), Lower(recorder_));
        EXPECT_EQ(record.args.back(), url);
    }

    // Two programs that the words could name: which one is meant cannot be told.
    const std::string program = PlaceRecorder("Program Files x\\record_args.exe");
    const std::string stem = program.substr(0, program.size() - 4);
    const std::string unclear = stem + " --flag %1";
    RegisterOpenCommand(unclear);
    DeleteFileA(recordFile_.c_str());
    common::OpenInDefaultBrowser(url.c_str());
    const std::string decoy = PlaceRecorder("Program.exe");
    const DWORD before = ProcessesStartedSoFar();
    common::OpenInDefaultBrowser(url.c_str());
    EXPECT_EQ(ProcessesStartedSoFar(), before) << "nothing may start";
    // Before the decoy was there, the one program was started.
    const std::vector<Record> records = WaitForRecords(1);
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(Lower(records[0].module), Lower(program));
    EXPECT_EQ(records[0].args.back(), url);
}

// The template is read into 260 bytes with its NUL: 259 characters start the browser, 260 do
// not, whatever the length of the command line they would give.
TEST_F(Launcher, CommandTemplateThatDoesNotFitTwoHundredSixtyBytesStartsNothing) {
    const std::string quotedProgram = "\"" + recorder_ + "\"";
    const std::string placeholder = " \"%1\"";
    const auto templateOfLength = [&](size_t length) {
        const std::string head = quotedProgram + " --pad=";
        EXPECT_LT(head.size() + placeholder.size(), length) << "recorder path too long";
        return head + std::string(length - head.size() - placeholder.size(), 'p') + placeholder;
    };
    const std::string url = "http://127.0.0.1/long-template";

    const DWORD started = ProcessesStartedSoFar();
    RegisterOpenCommand(templateOfLength(260));
    common::OpenInDefaultBrowser(url.c_str());
    EXPECT_EQ(ProcessesStartedSoFar(), started) << "nothing may start";
    EXPECT_FALSE(RecordFileExists());

    const std::string longest = templateOfLength(259);
    RegisterOpenCommand(longest);
    common::OpenInDefaultBrowser(url.c_str());
    const std::vector<Record> records = WaitForRecords(1);
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].commandLine,
              longest.substr(0, longest.size() - placeholder.size()) + " \"" + url + "\"");
    EXPECT_EQ(records[0].args.back(), url);
    EXPECT_EQ(ProcessesStartedSoFar(), started + 1) << "only the template that fits started";
}

TEST_F(Launcher, IncompleteRegistrationOrRefusedAddressStartsNothing) {
    const std::string goodTemplate = "\"" + recorder_ + "\" \"%1\"";
    constexpr const char kUrl[] = "http://127.0.0.1/";
    struct Case {
        const char* name;
        bool completeRegistration;
        void (*registerMore)(const std::string& goodTemplate);
        const char* url;
    };
    const auto nothingMore = [](const std::string&) {};
    const Case cases[] = {
        {"no \".htm\" at all", false, nothingMore, kUrl},
        {"\".htm\" names a class with no key", false,
         [](const std::string&) { SetText(".htm", kPageClass); }, kUrl},
        {"class without \"shell\\open\"", false,
         [](const std::string&) {
             SetText(".htm", kPageClass);
             SetText(kPageClass, "Test page");
         },
         kUrl},
        {"\"shell\\open\" without \"command\"", false,
         [](const std::string&) {
             SetText(".htm", kPageClass);
             SetText("TavrelloTestPage\\shell\\open", "");
         },
         kUrl},
        {"empty command", false,
         [](const std::string&) {
             SetText(".htm", kPageClass);
             SetText(kCommandKey, "");
         },
         kUrl},
        {"empty class name", false,
         [](const std::string& good) {
             SetText(".htm", "");
             SetText("shell\\open\\command", good);
         },
         kUrl},
        {"relative address", true, nothingMore, "help/plugin.htm"},
        {"script address", true, nothingMore, "javascript:alert(1)"},
        {"file address", true, nothingMore, "file:///C:/windows/notepad.exe"},
        {"empty address", true, nothingMore, ""},
        {"no address", true, nothingMore, nullptr},
    };
    const DWORD started = ProcessesStartedSoFar();
    for (const Case& test : cases) {
        SCOPED_TRACE(test.name);
        ClearClasses();
        if (test.completeRegistration) RegisterOpenCommand(goodTemplate);
        test.registerMore(goodTemplate);

        common::OpenInDefaultBrowser(test.url);
        EXPECT_EQ(ProcessesStartedSoFar(), started) << "nothing may start";
        EXPECT_FALSE(RecordFileExists());
        DeleteFileA(recordFile_.c_str());
    }

    // The same recorder does start once the registration is complete, so the silence above
    // was the launcher's doing.
    ClearClasses();
    RegisterOpenCommand(goodTemplate);
    common::OpenInDefaultBrowser("http://127.0.0.1/control");
    const std::vector<Record> records = WaitForRecords(1);
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].args.back(), "http://127.0.0.1/control");
    EXPECT_EQ(ProcessesStartedSoFar(), started + 1) << "the control alone started";
}

}  // namespace
