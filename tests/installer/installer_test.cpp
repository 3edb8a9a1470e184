// Runs the real TavrelloSetup.exe and the Uninstall.exe it leaves behind in a scratch Wine
// prefix (run_installer_test.sh prepares it) and reads back what they did to the real
// registry and file system. The setup program's path comes in TAVRELLO_SETUP_EXE.
#include <gtest/gtest.h>

#include <winsock2.h>
#include <windows.h>
#include <shellapi.h>
#include <sddl.h>
#include <shlobj.h>

#include <aclapi.h>

#include <cstdio>
#include <functional>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "common/settings.h"
#include "resources/version.h"
#include "tests/support/child_process.h"
#include "tests/support/service_wire.h"
#include "tests/support/http_peer.h"
#include "tests/support/registry_sandbox.h"

namespace {

using testing_support::ChildProcess;
using testing_support::kAddUrlPath;
using testing_support::kRunKey;
using testing_support::kSettingsKey;
using testing_support::ReadWholeFile;
using testing_support::WaitUntil;

constexpr char kCompanyKey[] = "Software\\Orvek";
constexpr char kUninstallKey[] =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Tavrello";
constexpr char kExtensionKey[] =
    "Software\\Microsoft\\Internet Explorer\\Extensions\\{FE6D93F2-3FAC-43CB-A848-528B1C31650B}";
constexpr char kClassId[] = "{3215FB3A-A2BB-4EBA-8EE8-3E50D0F65E70}";
constexpr char kLibraryId[] = "{87ED8189-96C8-4B9C-9D74-00751AB9E46B}";
constexpr char kCorvaneAppId[] = "{F78734E6-86FF-4C62-90A9-A85FC12B15E4}";
constexpr char kZephlistAppId[] = "{001BAB6E-69BF-4B4C-AB10-B3CE495FD9F9}";
constexpr char kInterfaceKey[] =
    "Software\\Classes\\Interface\\{75895B6B-9DD2-4B3C-9277-3D33D19C09A5}";
constexpr char kEmulationKey[] =
    "Software\\Microsoft\\Internet Explorer\\Main\\FeatureControl\\FEATURE_BROWSER_EMULATION";

// A value of KEY in the registry view VIEW (KEY_WOW64_32KEY or KEY_WOW64_64KEY; 0: this
// process's own view).
std::optional<std::string> ReadString(HKEY root, const std::string& key, const char* value,
                                      REGSAM view = 0) {
    HKEY opened = nullptr;
    if (RegOpenKeyExA(root, key.c_str(), 0, KEY_READ | view, &opened) != ERROR_SUCCESS) {
        return std::nullopt;
    }
    char buffer[1024];
    DWORD size = sizeof buffer;
    DWORD type = 0;
    const LSTATUS status = RegGetValueA(opened, nullptr, value, RRF_RT_ANY, &type, buffer, &size);
    RegCloseKey(opened);
    if (status != ERROR_SUCCESS) return std::nullopt;
    if (type == REG_DWORD) return std::to_string(*reinterpret_cast<const DWORD*>(buffer));
    if (type != REG_SZ) return std::nullopt;
    return std::string(buffer);
}

bool KeyExists(HKEY root, const std::string& key, REGSAM view = 0) {
    HKEY opened = nullptr;
    if (RegOpenKeyExA(root, key.c_str(), 0, KEY_READ | view, &opened) != ERROR_SUCCESS) {
        return false;
    }
    RegCloseKey(opened);
    return true;
}

void WriteString(HKEY root, const std::string& key, const char* value, const std::string& text) {
    ASSERT_EQ(RegSetKeyValueA(root, key.c_str(), value, REG_SZ, text.c_str(),
                              static_cast<DWORD>(text.size() + 1)),
              ERROR_SUCCESS);
}

void DeleteValue(HKEY root, const std::string& key, const char* value) {
    RegDeleteKeyValueA(root, key.c_str(), value);
}

bool FileExists(const std::string& path) {
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::string ShellFolder(int id) {
    char path[MAX_PATH] = "";
    SHGetFolderPathA(nullptr, id, nullptr, SHGFP_TYPE_CURRENT, path);
    return path;
}

std::string ProgramFilesFolder() {
    return ShellFolder(CSIDL_PROGRAM_FILES);
}

std::string ShortcutPath() {
    return ShellFolder(CSIDL_COMMON_PROGRAMS) + "\\Zephlist.lnk";
}

// The folder of this test program, where the build also puts record_args.exe.
std::string OwnFolder() {
    char path[MAX_PATH] = "";
    GetModuleFileNameA(nullptr, path, sizeof path);
    std::string folder = path;
    return folder.substr(0, folder.rfind('\\'));
}

// Whether the silent run's log warns that the base URL sends the password unencrypted.
bool LogWarnsOfPlainHttp(const std::string& folder) {
    const std::string log = ReadWholeFile(folder + "\\Setup.log");
    EXPECT_NE(log.find("Done"), std::string::npos) << "the log is complete: " << log;
    return log.find("is not https") != std::string::npos;
}

std::string Environment(const char* name) {
    char value[MAX_PATH] = "";
    GetEnvironmentVariableA(name, value, sizeof value);
    return value;
}

std::string SetupProgram() {
    return Environment("TAVRELLO_SETUP_EXE");
}

// Runs a program to its end; its exit code, or STILL_ACTIVE when it did not end in time.
DWORD RunToEnd(const std::string& commandLine) {
    ChildProcess process;
    if (!process.Start(commandLine)) return static_cast<DWORD>(-1);
    return process.Wait(60000);
}

// Makes FOLDER owned by the administrators; whether the file system kept that owner.
bool MakeAdministratorsFolder(const std::string& folder) {
    SECURITY_ATTRIBUTES attributes = {sizeof attributes, nullptr, FALSE};
    ConvertStringSecurityDescriptorToSecurityDescriptorA("O:BAD:(A;OICI;FA;;;BA)", SDDL_REVISION_1,
                                                         &attributes.lpSecurityDescriptor, nullptr);
    CreateDirectoryA(folder.c_str(), &attributes);
    LocalFree(attributes.lpSecurityDescriptor);
    PSID owner = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (GetNamedSecurityInfoA(folder.c_str(), SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, &owner,
                              nullptr, nullptr, nullptr, &descriptor) != ERROR_SUCCESS) {
        return false;
    }
    const bool kept = IsWellKnownSid(owner, WinBuiltinAdministratorsSid);
    LocalFree(descriptor);
    return kept;
}

// The icon reference of the extension entry ("path,-id") as the shell's icon loader reads it.
bool IconLoads(const std::string& reference) {
    const size_t comma = reference.rfind(',');
    if (comma == std::string::npos) return false;
    const std::string file = reference.substr(0, comma);
    const int index = std::stoi(reference.substr(comma + 1));
    HICON large = nullptr;
    if (ExtractIconExA(file.c_str(), index, &large, nullptr, 1) != 1 || !large) return false;
    DestroyIcon(large);
    return true;
}

// Everything a setup run adds, in one place, so that a clean slate can be made and checked.
class InstallerTest : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(SetupProgram().empty()) << "TAVRELLO_SETUP_EXE is not set";
        ASSERT_TRUE(FileExists(SetupProgram())) << SetupProgram();
        defaultFolder_ = ProgramFilesFolder() + "\\Tavrello";
        // What a run that failed half-way may have left.
        RemoveLeftovers(defaultFolder_);
        RemoveLeftovers(kCustomFolder);
        RemoveLeftovers(kForeignFolder);
        RegDeleteTreeA(HKEY_CURRENT_USER, kCompanyKey);
        DeleteValue(HKEY_CURRENT_USER, kRunKey, "Tavrello");
        DeleteValue(HKEY_CURRENT_USER, kRunKey, "Unrelated");
    }

    static void RemoveLeftovers(const std::string& folder) {
        if (FileExists(folder + "\\Uninstall.exe")) {
            RunToEnd("\"" + folder + "\\Uninstall.exe\" /S _?=" + folder);
        }
        for (const char* file : {"Corvane.dll", "Zephlist.exe", "Uninstall.exe", "Setup.log"}) {
            DeleteFileA((folder + "\\" + file).c_str());
        }
        RemoveDirectoryA(folder.c_str());
        RegDeleteTreeA(HKEY_LOCAL_MACHINE, kExtensionKey);
        RegDeleteTreeA(HKEY_LOCAL_MACHINE, kUninstallKey);
        RegDeleteTreeA(HKEY_LOCAL_MACHINE, kCompanyKey);
    }

    static DWORD Install(const std::string& arguments) {
        return RunToEnd("\"" + SetupProgram() + "\" /S " + arguments);
    }

    // Runs setup while this thread plays a running Zephlist: the window by which setup finds it
    // and the mutex whose end setup waits for. When setup asks it to exit, onExit runs first
    // (what another user may do at that moment); asked tells whether that happened.
    static DWORD InstallOverZephlist(const std::string& arguments,
                                     const std::function<void()>& onExit, bool& asked) {
        WNDCLASSA windowClass = {};
        windowClass.lpfnWndProc = DefWindowProcA;
        windowClass.lpszClassName = "ZephlistPopup";
        RegisterClassA(&windowClass);
        const HWND window = CreateWindowExA(0, "ZephlistPopup", "Zephlist", WS_POPUP, 0, 0, 9, 9,
                                            nullptr, nullptr, nullptr, nullptr);
        HANDLE mutex = CreateMutexA(nullptr, FALSE, "Zephlist");
        EXPECT_TRUE(window && mutex);
        DWORD status = STILL_ACTIVE;
        std::thread setup([&] {
            status = Install(arguments);
            PostMessageA(window, WM_APP, 0, 0);
        });
        // Setup's Exit command, posted before it ends, comes before the end of the run.
        asked = false;
        MSG message;
        while (GetMessageA(&message, window, 0, 0) > 0 && message.message != WM_APP) {
            if (message.message == WM_COMMAND && LOWORD(message.wParam) == 32769 && !asked) {
                onExit();
                asked = true;
                CloseHandle(mutex);
            }
            DispatchMessageA(&message);
        }
        setup.join();
        if (!asked) CloseHandle(mutex);
        DestroyWindow(window);
        UnregisterClassA("ZephlistPopup", nullptr);
        return status;
    }

    // The uninstaller hands over to a copy of itself in the temporary folder and ends at once;
    // the work is done when its uninstall entry and the folder are gone. The limit only ends a
    // hung uninstaller: on a busy machine its work has taken more than 30 s.
    static bool Uninstall(const std::string& folder, const std::string& arguments) {
        const std::string uninstaller = folder + "\\Uninstall.exe";
        if (!FileExists(uninstaller)) return false;
        if (RunToEnd("\"" + uninstaller + "\" /S " + arguments) != 0) return false;
        return WaitUntil(
            [&] { return !KeyExists(HKEY_LOCAL_MACHINE, kUninstallKey) && !FileExists(folder); },
            120000);
    }

    struct Entry {
        const char* key;
        const char* value;
        std::string data;
    };
    // The values that setup writes under HKEY_LOCAL_MACHINE and the uninstaller removes.
    static std::vector<Entry> SetupEntries(const std::string& folder, const std::string& baseUrl) {
        const std::string corvane = folder + "\\Corvane.dll";
        return {
            // The browser's command extension, pointing at CTavrelloIE and Corvane.dll's icons.
            {kExtensionKey, "ButtonText", "Tavrello"},
            {kExtensionKey, "MenuText", "Add to Tavrello..."},
            {kExtensionKey, "MenuStatusBar", "Add the page shown to your Tavrello favorites"},
            {kExtensionKey, "CLSID", "{1FBA04EE-3024-11D2-8F1F-0000F87ABD16}"},
            {kExtensionKey, "ClsidExtension", kClassId},
            {kExtensionKey, "Icon", corvane + ",-202"},
            {kExtensionKey, "HotIcon", corvane + ",-207"},
            {kExtensionKey, "Default Visible", "Yes"},
            {kUninstallKey, "DisplayName", "Tavrello"},
            {kUninstallKey, "Publisher", "Orvek"},
            {kUninstallKey, "DisplayVersion", CORVANE_VERSION_TEXT},
            {kUninstallKey, "InstallLocation", folder},
            {kUninstallKey, "UninstallString", "\"" + folder + "\\Uninstall.exe\""},
            {kUninstallKey, "QuietUninstallString", "\"" + folder + "\\Uninstall.exe\" /S"},
            {kUninstallKey, "NoModify", "1"},
            {kUninstallKey, "URLInfoAbout", baseUrl},
            {kUninstallKey, "HelpLink", baseUrl + "help/plugin.htm"},
            // The newest document mode for Zephlist's browser control, in the view it runs in.
            {kEmulationKey, "Zephlist.exe", "11001"},
        };
    }

    static void ExpectInstalledInto(const std::string& folder,
                                    const std::string& baseUrl = "https://www.tavrello.com/") {
        for (const char* file : {"Corvane.dll", "Zephlist.exe", "Uninstall.exe"}) {
            EXPECT_TRUE(FileExists(folder + "\\" + file)) << file;
        }
        const std::string corvane = folder + "\\Corvane.dll";
        const std::string classKey = std::string("CLSID\\") + kClassId;

        // regsvr32 ran Corvane.dll's own registration.
        EXPECT_EQ(ReadString(HKEY_CLASSES_ROOT, classKey + "\\InprocServer32", nullptr), corvane);
        EXPECT_EQ(ReadString(HKEY_CLASSES_ROOT, classKey + "\\InprocServer32", "ThreadingModel"),
                  "apartment");
        EXPECT_EQ(ReadString(HKEY_CLASSES_ROOT, "Corvane.TavrelloIE\\CLSID", nullptr), kClassId);
        EXPECT_EQ(ReadString(HKEY_CLASSES_ROOT, std::string("AppID\\") + kCorvaneAppId, nullptr),
                  "Corvane");
        EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, std::string("TypeLib\\") + kLibraryId));
        // Zephlist.exe /RegServer ran.
        EXPECT_EQ(ReadString(HKEY_CLASSES_ROOT, std::string("AppID\\") + kZephlistAppId, nullptr),
                  "Zephlist");
        EXPECT_EQ(ReadString(HKEY_CLASSES_ROOT, "AppID\\Zephlist.EXE", "AppID"), kZephlistAppId);

        for (const auto& entry : SetupEntries(folder, baseUrl)) {
            EXPECT_EQ(ReadString(HKEY_LOCAL_MACHINE, entry.key, entry.value), entry.data)
                << entry.value;
        }
        for (const char* icon : {"Icon", "HotIcon"}) {
            EXPECT_TRUE(IconLoads(ReadString(HKEY_LOCAL_MACHINE, kExtensionKey, icon).value_or("")))
                << icon;
        }
        // The shortcut names the installed program (in the link's own record of the path).
        EXPECT_NE(ReadWholeFile(ShortcutPath()).find(folder + "\\Zephlist.exe"), std::string::npos);
        // The base URL is also the machine's default, for users who have none of their own.
        EXPECT_EQ(ReadString(HKEY_LOCAL_MACHINE, kSettingsKey, "Tavrello"),
                  ReadString(HKEY_CURRENT_USER, kSettingsKey, "Tavrello"));
    }

    // Everything setup added is gone; the keys that others share stay.
    static void ExpectRemovedFrom(const std::string& folder) {
        EXPECT_FALSE(FileExists(folder));
        const std::string classKey = std::string("CLSID\\") + kClassId;
        for (const std::string& key :
             {classKey, std::string("Corvane.TavrelloIE"), std::string("Corvane.TavrelloIE.1"),
              std::string("AppID\\") + kCorvaneAppId, std::string("AppID\\Corvane.DLL"),
              std::string("AppID\\") + kZephlistAppId, std::string("AppID\\Zephlist.EXE"),
              std::string("TypeLib\\") + kLibraryId}) {
            EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, key)) << key;
        }
        // The type library's registration puts the interface in both views.
        for (const REGSAM view : {KEY_WOW64_32KEY, KEY_WOW64_64KEY}) {
            EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kInterfaceKey, view)) << view;
        }
        for (const auto& entry : SetupEntries(folder, "")) {
            EXPECT_FALSE(ReadString(HKEY_LOCAL_MACHINE, entry.key, entry.value)) << entry.value;
        }
        EXPECT_FALSE(FileExists(ShortcutPath()));
        EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, "CLSID"));
        EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, "AppID"));
        EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kExtensionKey));
        EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, "Software\\Microsoft\\Internet Explorer"));
        EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kUninstallKey));
        EXPECT_FALSE(ReadString(HKEY_CURRENT_USER, kSettingsKey, "Tavrello"));
        EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kCompanyKey)) << "no machine value left";
    }

    static constexpr char kCustomFolder[] = "C:\\Tavrello Test Folder";
    // Outside the Program Files folders, made by this test's user.
    static constexpr char kForeignFolder[] = "C:\\Tavrello Foreign Folder";
    std::string defaultFolder_;
};

TEST_F(InstallerTest, SilentSetupInstallsRegistersAndUninstallRemovesAllButTheAccount) {
    // The user's account from an earlier installation, and someone else's start-up entry.
    WriteString(HKEY_CURRENT_USER, kSettingsKey, "email", "someone@tavrello.test");
    WriteString(HKEY_CURRENT_USER, kSettingsKey, "password", "secret");
    WriteString(HKEY_CURRENT_USER, kSettingsKey, "zephlistsize", "640 480");
    WriteString(HKEY_CURRENT_USER, kRunKey, "Unrelated", "C:\\other.exe");

    ASSERT_EQ(Install("/URL=http://127.0.0.1:8765"), 0u);
    ExpectInstalledInto(defaultFolder_, "http://127.0.0.1:8765/");
    // The manifests of the setup and of the uninstaller it wrote.
    for (const std::string& program : {SetupProgram(), defaultFolder_ + "\\Uninstall.exe"}) {
        EXPECT_NE(ReadWholeFile(program).find(">true</dpiAware>"), std::string::npos) << program;
    }
    // A base URL without its final slash gets one: every address appends a path to it.
    EXPECT_EQ(ReadString(HKEY_CURRENT_USER, kSettingsKey, "Tavrello"), "http://127.0.0.1:8765/");
    EXPECT_TRUE(LogWarnsOfPlainHttp(defaultFolder_));
    // Another account, without a value of its own, reads the machine's default.
    DeleteValue(HKEY_CURRENT_USER, kSettingsKey, "Tavrello");
    EXPECT_EQ(common::ReadBaseUrl(), "http://127.0.0.1:8765/");
    EXPECT_EQ(ReadString(HKEY_CURRENT_USER, kRunKey, "Tavrello"),
              "\"" + defaultFolder_ + "\\Zephlist.exe\"");
    EXPECT_EQ(ReadString(HKEY_CURRENT_USER, kSettingsKey, "email"), "someone@tavrello.test");

    ASSERT_TRUE(Uninstall(defaultFolder_, ""));
    ExpectRemovedFrom(defaultFolder_);
    EXPECT_FALSE(ReadString(HKEY_CURRENT_USER, kRunKey, "Tavrello"));
    EXPECT_EQ(ReadString(HKEY_CURRENT_USER, kRunKey, "Unrelated"), "C:\\other.exe");
    EXPECT_EQ(ReadString(HKEY_CURRENT_USER, kSettingsKey, "email"), "someone@tavrello.test");
    EXPECT_EQ(ReadString(HKEY_CURRENT_USER, kSettingsKey, "password"), "secret");
    EXPECT_EQ(ReadString(HKEY_CURRENT_USER, kSettingsKey, "zephlistsize"), "640 480");
}

TEST_F(InstallerTest, ChosenFolderWithoutAutostartAndPurgingUninstallLeaveNothing) {
    // A start-up entry of the same name that names another copy is not setup's to remove.
    const std::string otherCopy = "C:\\Elsewhere\\Zephlist.exe";
    WriteString(HKEY_CURRENT_USER, kRunKey, "Tavrello", otherCopy);

    // Quotes around the address are the command line's, not the address's.
    ASSERT_EQ(
        Install("/NOAUTOSTART /URL=\"https://127.0.0.1:9/base\" /D=" + std::string(kCustomFolder)),
        0u);
    ExpectInstalledInto(kCustomFolder, "https://127.0.0.1:9/base/");
    EXPECT_FALSE(FileExists(defaultFolder_));
    EXPECT_EQ(ReadString(HKEY_CURRENT_USER, kSettingsKey, "Tavrello"), "https://127.0.0.1:9/base/");
    EXPECT_FALSE(LogWarnsOfPlainHttp(kCustomFolder));
    EXPECT_EQ(ReadString(HKEY_CURRENT_USER, kRunKey, "Tavrello"), otherCopy);

    // What the programs store while they are used.
    WriteString(HKEY_CURRENT_USER, kSettingsKey, "email", "someone@tavrello.test");
    WriteString(HKEY_CURRENT_USER, kSettingsKey, "password", "secret");
    WriteString(HKEY_CURRENT_USER, kSettingsKey, "zephlistsize", "640 480");

    ASSERT_TRUE(Uninstall(kCustomFolder, "/PURGE"));
    ExpectRemovedFrom(kCustomFolder);
    EXPECT_EQ(ReadString(HKEY_CURRENT_USER, kRunKey, "Tavrello"), otherCopy);
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, kSettingsKey));
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, kCompanyKey));
}

TEST_F(InstallerTest, UninstallRemovesTheStartEntryThatTheOptionsDialogWrote) {
    ASSERT_EQ(Install("/NOAUTOSTART"), 0u);
    EXPECT_EQ(ReadString(HKEY_CURRENT_USER, kSettingsKey, "Tavrello"), "https://www.tavrello.com/");
    EXPECT_FALSE(LogWarnsOfPlainHttp(defaultFolder_));
    EXPECT_FALSE(ReadString(HKEY_CURRENT_USER, kRunKey, "Tavrello"));
    // The tray program's options dialog stores its path bare.
    WriteString(HKEY_CURRENT_USER, kRunKey, "Tavrello", defaultFolder_ + "\\Zephlist.exe");

    ASSERT_TRUE(Uninstall(defaultFolder_, ""));
    EXPECT_FALSE(ReadString(HKEY_CURRENT_USER, kRunKey, "Tavrello"));
}

// Faults that end setup with exit code 2 before anything in the folder runs: a folder that is
// not safe to install into, a file held open, a base URL that is not a plain web address. An
// old or foreign Zephlist.exe, planted where setup installs, records its start if anything runs
// it; where setup accepts the folder, it replaces that file.
TEST_F(InstallerTest, FaultsEndSetupBeforeAnythingInTheFolderRuns) {
    enum class Made { Before, ByAdministrators, DuringTheWait, Not };
    // Wine reads every folder's owner as the user who runs it; Windows keeps the owner given.
    const bool ownersKept = MakeAdministratorsFolder(kForeignFolder);
    RemoveDirectoryA(kForeignFolder);
    if (!ownersKept) {
        std::printf(
            "[   NOTE   ] no folder owner is kept here: an empty folder of the "
            "administrators is refused like any other, and is accepted on Windows only\n");
    }
    const std::string record = defaultFolder_ + "-started.txt";
    const std::string heldFile = defaultFolder_ + "\\Zephlist.exe";
    const struct {
        const char* name;
        std::string folder;
        Made made;
        bool plant;
        bool holdOpen;
        std::string arguments;
        DWORD exitCode;
        std::string logged;
    } cases[] = {
        {"replaced", defaultFolder_, Made::Before, true, false, "", 0, ""},
        {"held open", defaultFolder_, Made::Before, true, true, "", 2,
         "Failed: " + heldFile + " could not be written."},
        {"another owner's folder", kForeignFolder, Made::Before, true, false, "", 2, ""},
        {"another owner's empty folder", kForeignFolder, Made::Before, false, false, "", 2, ""},
        {"the administrators' empty folder", kForeignFolder, Made::ByAdministrators, false, false,
         "", ownersKept ? 0u : 2u, ""},
        {"a folder made while setup waits for Zephlist", kForeignFolder, Made::DuringTheWait, true,
         false, "", 2, ""},
        {"javascript: address", defaultFolder_, Made::Not, false, false, "/URL=javascript:alert(1)",
         2, "Failed: The base URL"},
        {"file: address", defaultFolder_, Made::Not, false, false, "/URL=file:///C:/x/", 2,
         "Failed: The base URL"},
        {"blank inside quotes", defaultFolder_, Made::Not, false, false, "/URL=\"https://a b/\"", 2,
         "Failed: The base URL \"https://a b/\""},
        {"inner quote", defaultFolder_, Made::Not, false, false, "/URL=https://a\"b/", 2,
         "Failed: The base URL \"https://a\"b/\""},
        {"user name before the host", defaultFolder_, Made::Not, false, false,
         "/URL=http://me@evil.test/", 2, "Failed: The base URL"},
    };
    for (const auto& example : cases) {
        SCOPED_TRACE(example.name);
        const std::string planted = example.folder + "\\Zephlist.exe";
        const auto makeAndPlant = [&] {
            if (example.made == Made::ByAdministrators) MakeAdministratorsFolder(example.folder);
            if (example.made != Made::Not) CreateDirectoryA(example.folder.c_str(), nullptr);
            if (example.plant) {
                ASSERT_TRUE(
                    CopyFileA((OwnFolder() + "\\record_args.exe").c_str(), planted.c_str(), FALSE));
            }
        };
        if (example.made != Made::DuringTheWait) makeAndPlant();
        HANDLE held = example.holdOpen ? CreateFileA(planted.c_str(), GENERIC_READ, FILE_SHARE_READ,
                                                     nullptr, OPEN_EXISTING, 0, nullptr)
                                       : INVALID_HANDLE_VALUE;
        ASSERT_EQ(example.holdOpen, held != INVALID_HANDLE_VALUE);
        DeleteFileA(record.c_str());
        SetEnvironmentVariableA("TAVRELLO_RECORD_ARGS_FILE", record.c_str());
        const std::string arguments = "/NOAUTOSTART " + example.arguments + " /D=" + example.folder;
        bool asked = false;
        const DWORD status = example.made == Made::DuringTheWait
                                 ? InstallOverZephlist(arguments, makeAndPlant, asked)
                                 : Install(arguments);
        SetEnvironmentVariableA("TAVRELLO_RECORD_ARGS_FILE", nullptr);
        if (held != INVALID_HANDLE_VALUE) CloseHandle(held);

        EXPECT_EQ(status, example.exitCode);
        EXPECT_FALSE(FileExists(record)) << "setup ran the planted program";
        EXPECT_EQ(asked, example.made == Made::DuringTheWait) << "setup asked Zephlist to exit";
        if (example.exitCode == 0) {
            ExpectInstalledInto(example.folder);
            ASSERT_TRUE(Uninstall(example.folder, ""));
        } else {
            EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kUninstallKey));
            EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, std::string("CLSID\\") + kClassId));
            EXPECT_FALSE(ReadString(HKEY_CURRENT_USER, kSettingsKey, "Tavrello"));
            if (example.plant) {
                EXPECT_TRUE(FileExists(planted)) << "a refused folder is left as found";
            }
            if (!example.logged.empty()) {
                const std::string log = ReadWholeFile(example.folder + "\\Setup.log");
                EXPECT_NE(log.find(example.logged), std::string::npos) << log;
            }
            RemoveLeftovers(example.folder);
        }
    }
    DeleteFileA(record.c_str());
}

// A registration that fails half-way leaves an uninstall entry that removes everything.
TEST_F(InstallerTest, FailedRegistrationCanStillBeUninstalled) {
    // Zephlist's own key, present and read-only: its registration is refused.
    const std::string appIdKey = std::string("Software\\Classes\\AppID\\") + kZephlistAppId;
    HKEY blocked = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, appIdKey.c_str(), 0, nullptr, 0,
                              KEY_ALL_ACCESS | WRITE_DAC, nullptr, &blocked, nullptr),
              ERROR_SUCCESS);
    const auto restrict = [&](const char* accessList) {
        PSECURITY_DESCRIPTOR descriptor = nullptr;
        ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorA(
            accessList, SDDL_REVISION_1, &descriptor, nullptr));
        EXPECT_EQ(RegSetKeySecurity(blocked, DACL_SECURITY_INFORMATION, descriptor), ERROR_SUCCESS);
        LocalFree(descriptor);
    };
    restrict("D:P(A;;KR;;;WD)");
    const DWORD status = Install("/NOAUTOSTART");
    restrict("D:P(A;;KA;;;WD)");
    RegCloseKey(blocked);
    RegDeleteTreeA(HKEY_LOCAL_MACHINE, appIdKey.c_str());

    EXPECT_EQ(status, 2u);
    EXPECT_EQ(ReadString(HKEY_LOCAL_MACHINE, kUninstallKey, "QuietUninstallString"),
              "\"" + defaultFolder_ + "\\Uninstall.exe\" /S");
    ASSERT_TRUE(Uninstall(defaultFolder_, ""));
    ExpectRemovedFrom(defaultFolder_);
}

TEST_F(InstallerTest, SetupAndUninstallStopARunningZephlistFirst) {
    ASSERT_EQ(Install("/NOAUTOSTART"), 0u);
    ChildProcess zephlist;
    ASSERT_TRUE(zephlist.Start("\"" + defaultFolder_ + "\\Zephlist.exe\""));
    ASSERT_TRUE(WaitUntil([] { return FindWindowA(nullptr, "Zephlist") != nullptr; }, 20000));

    // Installing again over the running copy: it is asked to exit, then replaced and
    // registered (a registration run would otherwise only signal the running copy).
    RegDeleteTreeA(HKEY_CLASSES_ROOT, (std::string("AppID\\") + kZephlistAppId).c_str());
    ASSERT_EQ(Install("/NOAUTOSTART"), 0u);
    EXPECT_EQ(zephlist.Wait(10000), 0u);
    ExpectInstalledInto(defaultFolder_);

    ASSERT_TRUE(zephlist.Start("\"" + defaultFolder_ + "\\Zephlist.exe\""));
    ASSERT_TRUE(WaitUntil([] { return FindWindowA(nullptr, "Zephlist") != nullptr; }, 20000));
    ASSERT_TRUE(Uninstall(defaultFolder_, ""));
    EXPECT_EQ(zephlist.Wait(10000), 0u);
    ExpectRemovedFrom(defaultFolder_);
}

// The 32-bit setup on 64-bit Windows (run in a win64 prefix by run_installer_test.sh): each
// Corvane.dll is registered in its own registry view, and the browser of each architecture
// runs the command from its own DLL to the service.
using InstallerWow64 = InstallerTest;

TEST_F(InstallerWow64, EachCorvaneServesTheBrowserOfItsArchitecture) {
    BOOL wow64 = FALSE;
    ASSERT_TRUE(IsWow64Process(GetCurrentProcess(), &wow64) && wow64)
        << "this case runs as a 32-bit program on 64-bit Windows";
    testing_support::HttpPeer peer;
    testing_support::RouteAcceptingService(peer, "3 Cartoons\n");
    WriteString(HKEY_CURRENT_USER, kSettingsKey, "email", "jerry@cartoons.test");
    WriteString(HKEY_CURRENT_USER, kSettingsKey, "password", "mouse hole");

    ASSERT_EQ(Install("/NOAUTOSTART /URL=" + peer.BaseUrl()), 0u);
    for (const char* file : {"Corvane.dll", "Zephlist.exe", "Uninstall.exe", "x64\\Corvane.dll"}) {
        EXPECT_TRUE(FileExists(defaultFolder_ + "\\" + file)) << file;
    }
    const std::string classKey = std::string("Software\\Classes\\CLSID\\") + kClassId;
    const std::string libraryKey = std::string("Software\\Classes\\TypeLib\\") + kLibraryId;
    const struct {
        REGSAM view;
        std::string corvane;
        const char* platform;
        std::string browser;
        std::optional<std::string> documentMode;  // only where the installed Zephlist.exe runs
    } views[] = {
        {KEY_WOW64_32KEY, defaultFolder_ + "\\Corvane.dll", "win32",
         Environment("TAVRELLO_TEST_BROWSER_X86"), "11001"},
        {KEY_WOW64_64KEY, defaultFolder_ + "\\x64\\Corvane.dll", "win64",
         Environment("TAVRELLO_TEST_BROWSER_X64"), std::nullopt},
    };
    for (const auto& side : views) {
        SCOPED_TRACE(side.platform);
        const HKEY machine = HKEY_LOCAL_MACHINE;
        EXPECT_EQ(ReadString(machine, classKey + "\\InprocServer32", nullptr, side.view),
                  side.corvane);
        EXPECT_EQ(
            ReadString(machine, libraryKey + "\\1.0\\409\\" + side.platform, nullptr, side.view),
            side.corvane);
        EXPECT_EQ(ReadString(machine, kExtensionKey, "ClsidExtension", side.view), kClassId);
        EXPECT_EQ(ReadString(machine, kExtensionKey, "Icon", side.view), side.corvane + ",-202");
        EXPECT_EQ(ReadString(machine, kEmulationKey, "Zephlist.exe", side.view), side.documentMode);

        const std::string page = "http://127.0.0.1:9/" + std::string(side.platform) + ".htm";
        ChildProcess browser;
        ASSERT_TRUE(browser.Start("\"" + side.browser + "\" \"" + page + "\" \"A page\""))
            << side.browser;
        HWND dialog = testing_support::WaitForWindow("Add to Tavrello.com", 30000);
        ASSERT_NE(dialog, nullptr);
        ASSERT_TRUE(WaitUntil([&] { return IsWindowVisible(dialog) != FALSE; }, 20000));
        PostMessageA(GetDlgItem(dialog, IDOK), BM_CLICK, 0, 0);
        EXPECT_EQ(browser.Wait(30000), 0u) << "Exec returned S_OK";
        const auto adds = peer.RequestsTo(kAddUrlPath);
        ASSERT_FALSE(adds.empty());
        EXPECT_EQ(testing_support::DecodeForm(adds.back().body).at("url"), page);
    }

    ASSERT_TRUE(Uninstall(defaultFolder_, "/PURGE"));
    for (const auto& side : views) {
        for (const std::string& key :
             {classKey, libraryKey, std::string(kExtensionKey), std::string(kInterfaceKey),
              std::string("Software\\Classes\\Corvane.TavrelloIE")}) {
            EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, key, side.view))
                << side.platform << " " << key;
        }
        EXPECT_FALSE(ReadString(HKEY_LOCAL_MACHINE, kEmulationKey, "Zephlist.exe", side.view));
    }
}

}  // namespace
