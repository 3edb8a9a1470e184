// The executable module: COM for the thread, registration switches and the message loop, in
// the test process and in a real program started as a process.
#include "framework/com/module.h"

#include <gtest/gtest.h>
#include <objbase.h>

#include <string>
#include <thread>
#include <vector>

#include "framework/handles.h"
#include "framework/window/window.h"

namespace {

class RecordingModule : public framework::CAtlExeModuleT<RecordingModule> {
public:
    HRESULT RegisterServer() override {
        ++registrations;
        return registerResult;
    }
    HRESULT UnregisterServer() override {
        ++unregistrations;
        return unregisterResult;
    }
    void RunMessageLoop() override {
        ++loops;
        framework::CAtlExeModuleBase::RunMessageLoop();
    }

    HRESULT registerResult = S_OK;
    HRESULT unregisterResult = S_OK;
    int registrations = 0;
    int unregistrations = 0;
    int loops = 0;
};

constexpr UINT kQuitAfterThis = WM_APP + 7;

class LoopWindow : public framework::CWindowImpl<LoopWindow> {
public:
    BEGIN_MSG_MAP(LoopWindow)
    MESSAGE_HANDLER(WM_CHAR, OnChar)
    MESSAGE_HANDLER(kQuitAfterThis, OnQuitAfterThis)
    END_MSG_MAP()

    LRESULT OnChar(UINT, WPARAM wParam, LPARAM, BOOL&) {
        typed += static_cast<char>(wParam);
        return 0;
    }
    LRESULT OnQuitAfterThis(UINT, WPARAM, LPARAM, BOOL&) {
        PostQuitMessage(0);
        return 0;
    }

    std::string typed;
};

// Runs body on a thread of its own, so that each case starts from a thread without COM.
template <typename Body>
void OnFreshThread(Body body) {
    std::thread thread(body);
    thread.join();
}

TEST(ExeModule, LoopDispatchesAndTranslatesUntilQuitAndReturnsZero) {
    OnFreshThread([] {
        RecordingModule module;
        LoopWindow window;
        ASSERT_TRUE(window.Create(nullptr, RECT{0, 0, 100, 100}));
        // A posted key goes through TranslateMessage (WM_CHAR) before the quit request.
        window.PostMessage(WM_KEYDOWN, 'A', 1);
        window.PostMessage(kQuitAfterThis);
        EXPECT_EQ(module.Run("prog.exe /q"), 0);
        EXPECT_EQ(module.loops, 1);
        EXPECT_EQ(window.typed, "a");
        EXPECT_EQ(module.registrations + module.unregistrations, 0);
    });
}

TEST(ExeModule, RegistrationSwitchCallsItsHookInsteadOfTheLoop) {
    struct Case {
        const char* commandLine;
        HRESULT hookResult;
        int registrations;
        int unregistrations;
    };
    const Case cases[] = {
        {"\"C:\\Program Files\\Orvek\\prog.exe\" /RegServer", S_OK, 1, 0},
        {"prog.exe -regserver", E_ACCESSDENIED, 1, 0},
        {"prog.exe /UnregServer", S_OK, 0, 1},
        {"prog.exe /unregserver x", TYPE_E_REGISTRYACCESS, 0, 1},
    };
    for (const Case& c : cases) {
        OnFreshThread([&c] {
            RecordingModule module;
            module.registerResult = c.hookResult;
            module.unregisterResult = c.hookResult;
            // A queued message stays queued: the loop is not entered.
            PostThreadMessageA(GetCurrentThreadId(), WM_APP, 0, 0);
            EXPECT_EQ(module.Run(c.commandLine), static_cast<int>(c.hookResult)) << c.commandLine;
            EXPECT_EQ(module.registrations, c.registrations) << c.commandLine;
            EXPECT_EQ(module.unregistrations, c.unregistrations) << c.commandLine;
            EXPECT_EQ(module.loops, 0) << c.commandLine;
            MSG message;
            EXPECT_TRUE(PeekMessageA(&message, nullptr, WM_APP, WM_APP, PM_REMOVE));
        });
    }
}

TEST(ExeModule, ComIsAnApartmentForTheModulesLifetime) {
    OnFreshThread([] {
        {
            RecordingModule module;
            EXPECT_EQ(module.ComInitResult(), S_OK);
            // Asking again for an apartment is answered "already so".
            EXPECT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_FALSE);
            CoUninitialize();
            EXPECT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), RPC_E_CHANGED_MODE);
        }
        // Gone with the module: the thread may now choose another model.
        const HRESULT after = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
        EXPECT_EQ(after, S_OK);
        if (SUCCEEDED(after)) CoUninitialize();
    });
}

TEST(ExeModule, FailedComInitialisationEndsTheRunWithMinusOne) {
    OnFreshThread([] {
        ASSERT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK);
        {
            RecordingModule module;
            EXPECT_EQ(module.ComInitResult(), RPC_E_CHANGED_MODE);
            EXPECT_EQ(module.Run("prog.exe /RegServer"), -1);
            EXPECT_EQ(module.Run("prog.exe"), -1);
            EXPECT_EQ(module.registrations, 0);
            EXPECT_EQ(module.loops, 0);
        }
        // The failed module gave back nothing it had not taken: the thread is still MTA.
        EXPECT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_FALSE);
        CoUninitialize();
        CoUninitialize();
    });
}

// The probe program beside this test: the switches come from its real command line.
DWORD RunProbe(const std::string& arguments) {
    char path[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, path, sizeof path);
    std::string probe = path;
    probe = probe.substr(0, probe.find_last_of("\\/") + 1) + "framework_module_probe.exe";
    std::string commandLine = "\"" + probe + "\" " + arguments;
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    if (!CreateProcessA(probe.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        nullptr, &startup, &process)) {
        ADD_FAILURE() << "cannot start " << probe << ": " << GetLastError();
        return 0xFFFFFFFFu;
    }
    framework::KernelHandle processHandle(process.hProcess);
    framework::KernelHandle threadHandle(process.hThread);
    EXPECT_EQ(WaitForSingleObject(processHandle.Get(), 60000), WAIT_OBJECT_0);
    DWORD exitCode = 0xFFFFFFFFu;
    GetExitCodeProcess(processHandle.Get(), &exitCode);
    return exitCode;
}

TEST(ExeModule, RealProgramReadsItsSwitchesFromItsOwnCommandLine) {
    struct Case {
        const char* arguments;
        DWORD exitCode;
    };
    const Case cases[] = {
        {"", 0}, {"/q", 0}, {"/RegServer", 0x201}, {"-UNREGSERVER", 0x202}, {"/RegServerX", 0},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(RunProbe(c.arguments), c.exitCode) << c.arguments;
    }
}

}  // namespace
