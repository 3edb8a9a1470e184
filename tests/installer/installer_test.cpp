// Runs the real TavrelloSetup.exe and the Uninstall.exe it leaves behind in a scratch Wine
// prefix (run_installer_test.sh prepares it) and reads back what they did to the real
// registry and file system. The setup program's path comes in TAVRELLO_SETUP_EXE.
#include <gtest/gtest.h>

#include <windows.h>
#include <shellapi.h>
#include <shlobj.h>

#include <optional>
#include <string>
#include <vector>

#include "common/settings.h"
#include "tests/support/child_process.h"
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

std::optional<std::string> ReadString(HKEY root, const std::string& key, const char* value) {
    char buffer[1024];
    DWORD size = sizeof buffer;
    DWORD type = 0;
    if (RegGetValueA(root, key.c_str(), value, RRF_RT_ANY, &type, buffer, &size) != ERROR_SUCCESS ||
        type != REG_SZ) {
        return std::nullopt;
    }
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

bool KeyExists(HKEY root, const std::string& key) {
    HKEY opened = nullptr;
    if (RegOpenKeyExA(root, key.c_str(), 0, KEY_READ, &opened) != ERROR_SUCCESS) return false;
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

std::string SetupProgram() {
    char path[MAX_PATH] = "";
    GetEnvironmentVariableA("TAVRELLO_SETUP_EXE", path, sizeof path);
    return path;
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
        RegDeleteTreeA(HKEY_CURRENT_USER, kCompanyKey);
        DeleteValue(HKEY_CURRENT_USER, kRunKey, "Tavrello");
        DeleteValue(HKEY_CURRENT_USER, kRunKey, "Unrelated");
    }

    static void RemoveLeftovers(const std::string& folder) {
        if (FileExists(folder + "\\Uninstall.exe")) {
            RunToEnd("\"" + folder + "\\Uninstall.exe\" /S _?=" + folder);
        }
        for (const char* file : {"Corvane.dll", "Zephlist.exe", "Uninstall.exe"}) {
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
            {"DisplayVersion", "2.0.0.1"},
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
    EXPECT_EQ(ReadBaseUrl(), "http://127.0.0.1:8765/");
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

    ASSERT_EQ(
        Install("/NOAUTOSTART /URL=http://127.0.0.1:9/base/ /D=" + std::string(kCustomFolder)), 0u);
    ExpectInstalledInto(kCustomFolder);
    EXPECT_FALSE(FileExists(defaultFolder_));
    EXPECT_EQ(ReadString(HKEY_CURRENT_USER, kSettingsKey, "Tavrello"), "http://127.0.0.1:9/base/");
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

TEST_F(InstallerTest, AProgramFoundInTheFolderBeforeSetupIsNeverStarted) {
    // An old or foreign Zephlist.exe that would record its start.
    CreateDirectoryA(defaultFolder_.c_str(), nullptr);
    const std::string record = defaultFolder_ + "-started.txt";
    DeleteFileA(record.c_str());
    ASSERT_TRUE(CopyFileA((OwnFolder() + "\\record_args.exe").c_str(),
                          (defaultFolder_ + "\\Zephlist.exe").c_str(), FALSE));
    SetEnvironmentVariableA("TAVRELLO_RECORD_ARGS_FILE", record.c_str());
    const DWORD status = Install("/NOAUTOSTART");
    SetEnvironmentVariableA("TAVRELLO_RECORD_ARGS_FILE", nullptr);
    ASSERT_EQ(status, 0u);
    ExpectInstalledInto(defaultFolder_);
    EXPECT_FALSE(FileExists(record)) << "setup ran the planted program";
    ASSERT_TRUE(Uninstall(defaultFolder_, ""));
    DeleteFileA(record.c_str());
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

}  // namespace
