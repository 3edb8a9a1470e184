// Runs the real TavrelloSetup.exe and the Uninstall.exe it leaves behind in a scratch Wine
// prefix (run_installer_test.sh prepares it) and reads back what they did to the real
// registry and file system. The setup program's path comes in TAVRELLO_SETUP_EXE.
#include <gtest/gtest.h>

#include <winsock2.h>
#include <windows.h>
#include <shellapi.h>
#include <sddl.h>
#include <shlobj.h>

#include <optional>
#include <string>
#include <vector>

#include "common/settings.h"
#include "resources/version.h"
#include "tests/support/child_process.h"
#include "tests/support/http_peer.h"
#include "tests/support/registry_sandbox.h"

namespace {

using testing_support::ChildProcess;
using testing_support::kRunKey;
using testing_support::kSettingsKey;
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
    if (status != ERROR_SUCCESS || type != REG_SZ) return std::nullopt;
    return std::string(buffer);
}

std::optional<DWORD> ReadDword(HKEY root, const std::string& key, const char* value) {
    DWORD data = 0;
    DWORD size = sizeof data;
    if (RegGetValueA(root, key.c_str(), value, RRF_RT_REG_DWORD, nullptr, &data, &size) !=
        ERROR_SUCCESS) {
        return std::nullopt;
    }
    return data;
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

std::string ProgramFilesFolder() {
    char path[MAX_PATH] = "";
    SHGetFolderPathA(nullptr, CSIDL_PROGRAM_FILES, nullptr, SHGFP_TYPE_CURRENT, path);
    return path;
}

// The folder of this test program, where the build also puts record_args.exe.
std::string OwnFolder() {
    char path[MAX_PATH] = "";
    GetModuleFileNameA(nullptr, path, sizeof path);
    std::string folder = path;
    return folder.substr(0, folder.rfind('\\'));
}

std::string ReadWholeFile(const std::string& path) {
    std::string text;
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return text;
    char buffer[4096];
    DWORD read = 0;
    while (ReadFile(file, buffer, sizeof buffer, &read, nullptr) && read > 0)
        text.append(buffer, read);
    CloseHandle(file);
    return text;
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

    // The uninstaller hands over to a copy of itself in the temporary folder and ends at once;
    // the work is done when its uninstall entry and the folder are gone.
    static bool Uninstall(const std::string& folder, const std::string& arguments) {
        const std::string uninstaller = folder + "\\Uninstall.exe";
        if (!FileExists(uninstaller)) return false;
        if (RunToEnd("\"" + uninstaller + "\" /S " + arguments) != 0) return false;
        return WaitUntil(
            [&] { return !KeyExists(HKEY_LOCAL_MACHINE, kUninstallKey) && !FileExists(folder); },
            30000);
    }

    static void ExpectInstalledInto(const std::string& folder) {
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

        // The browser's command extension, pointing at CTavrelloIE and Corvane.dll's icons.
        const struct {
            const char* value;
            std::string data;
        } extension[] = {
            {"ButtonText", "Tavrello"},
            {"MenuText", "Add to Tavrello..."},
            {"MenuStatusBar", "Add the page shown to your Tavrello favorites"},
            {"CLSID", "{1FBA04EE-3024-11D2-8F1F-0000F87ABD16}"},
            {"ClsidExtension", kClassId},
            {"Icon", corvane + ",-202"},
            {"HotIcon", corvane + ",-207"},
            {"Default Visible", "Yes"},
        };
        for (const auto& entry : extension) {
            EXPECT_EQ(ReadString(HKEY_LOCAL_MACHINE, kExtensionKey, entry.value), entry.data)
                << entry.value;
        }
        for (const char* icon : {"Icon", "HotIcon"}) {
            EXPECT_TRUE(IconLoads(ReadString(HKEY_LOCAL_MACHINE, kExtensionKey, icon).value_or("")))
                << icon;
        }

        const struct {
            const char* value;
            std::string data;
        } uninstall[] = {
            {"DisplayName", "Tavrello"},
            {"Publisher", "Orvek"},
            {"DisplayVersion", CORVANE_VERSION_TEXT},
            {"InstallLocation", folder},
            {"UninstallString", "\"" + folder + "\\Uninstall.exe\""},
            {"QuietUninstallString", "\"" + folder + "\\Uninstall.exe\" /S"},
        };
        for (const auto& entry : uninstall) {
            EXPECT_EQ(ReadString(HKEY_LOCAL_MACHINE, kUninstallKey, entry.value), entry.data)
                << entry.value;
        }
        EXPECT_EQ(ReadDword(HKEY_LOCAL_MACHINE, kUninstallKey, "NoModify"), 1u);
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
    ExpectInstalledInto(defaultFolder_);
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
    ExpectInstalledInto(kCustomFolder);
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

// An old or foreign Zephlist.exe, planted where setup installs, records its start if anything
// runs it. Setup replaces it, or ends with exit code 2 before anything in the folder runs when
// the file is held open or the folder is not safe to install into. (Wine reads every folder's
// owner as the user who runs it, so an existing folder outside Program Files is always refused
// here; one owned by the administrators is accepted on Windows.)
TEST_F(InstallerTest, AProgramFoundInTheFolderBeforeSetupIsNeverStarted) {
    const std::string record = defaultFolder_ + "-started.txt";
    const struct {
        const char* name;
        std::string folder;
        bool plant;
        bool holdOpen;
        DWORD exitCode;
    } cases[] = {
        {"replaced", defaultFolder_, true, false, 0},
        {"held open", defaultFolder_, true, true, 2},
        {"another owner's folder", kForeignFolder, true, false, 2},
        {"another owner's empty folder", kForeignFolder, false, false, 2},
    };
    for (const auto& example : cases) {
        SCOPED_TRACE(example.name);
        CreateDirectoryA(example.folder.c_str(), nullptr);
        const std::string planted = example.folder + "\\Zephlist.exe";
        if (example.plant) {
            ASSERT_TRUE(
                CopyFileA((OwnFolder() + "\\record_args.exe").c_str(), planted.c_str(), FALSE));
        }
        HANDLE held = example.holdOpen ? CreateFileA(planted.c_str(), GENERIC_READ, FILE_SHARE_READ,
                                                     nullptr, OPEN_EXISTING, 0, nullptr)
                                       : INVALID_HANDLE_VALUE;
        ASSERT_EQ(example.holdOpen, held != INVALID_HANDLE_VALUE);
        DeleteFileA(record.c_str());
        SetEnvironmentVariableA("TAVRELLO_RECORD_ARGS_FILE", record.c_str());
        const DWORD status = Install("/NOAUTOSTART /D=" + example.folder);
        SetEnvironmentVariableA("TAVRELLO_RECORD_ARGS_FILE", nullptr);
        if (held != INVALID_HANDLE_VALUE) CloseHandle(held);

        EXPECT_EQ(status, example.exitCode);
        EXPECT_FALSE(FileExists(record)) << "setup ran the planted program";
        if (example.exitCode == 0) {
            ExpectInstalledInto(example.folder);
            ASSERT_TRUE(Uninstall(example.folder, ""));
        } else {
            EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kUninstallKey));
            EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, std::string("CLSID\\") + kClassId));
            if (example.holdOpen) {
                const std::string log = ReadWholeFile(example.folder + "\\Setup.log");
                EXPECT_NE(log.find("Failed: " + planted + " could not be written."),
                          std::string::npos)
                    << log;
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
    } views[] = {
        {KEY_WOW64_32KEY, defaultFolder_ + "\\Corvane.dll", "win32",
         Environment("TAVRELLO_TEST_BROWSER_X86")},
        {KEY_WOW64_64KEY, defaultFolder_ + "\\x64\\Corvane.dll", "win64",
         Environment("TAVRELLO_TEST_BROWSER_X64")},
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

        const std::string page = "http://127.0.0.1:9/" + std::string(side.platform) + ".htm";
        ChildProcess browser;
        ASSERT_TRUE(browser.Start("\"" + side.browser + "\" \"" + page + "\" \"A page\""))
            << side.browser;
        HWND dialog = testing_support::WaitForWindow("Add to Tavrello.com", 30000);
        ASSERT_NE(dialog, nullptr);
        ASSERT_TRUE(WaitUntil([&] { return IsWindowVisible(dialog) != FALSE; }, 20000));
        PostMessageA(GetDlgItem(dialog, IDOK), BM_CLICK, 0, 0);
        EXPECT_EQ(browser.Wait(30000), 0u) << "Exec returned S_OK";
        const auto adds = peer.RequestsTo("/plugin/addurl.php");
        ASSERT_FALSE(adds.empty());
        EXPECT_EQ(testing_support::DecodeForm(adds.back().body).at("url"), page);
    }

    ASSERT_TRUE(Uninstall(defaultFolder_, "/PURGE"));
    for (const auto& side : views) {
        for (const std::string& key : {classKey, libraryKey, std::string(kExtensionKey),
                                       std::string("Software\\Classes\\Corvane.TavrelloIE")}) {
            EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, key, side.view))
                << side.platform << " " << key;
        }
    }
}

}  // namespace
