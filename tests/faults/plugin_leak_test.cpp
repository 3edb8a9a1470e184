// A thousand pages added in one process, and two hundred openings of each plug-in dialog,
// with a simulated user confirming: the process ends each run holding what it held before.
// The test peer needs winsock2.h ahead of windows.h.
#include <winsock2.h>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "common/settings.h"
#include "plugin/client/tavrello.h"
#include "plugin/dialogs/add_favorite_dialog.h"
#include "plugin/dialogs/new_category_dialog.h"
#include "plugin/dialogs/options_dialog.h"
#include "plugin/dialogs/plugin_ui.h"
#include "tests/faults/leak_check.h"
#include "tests/support/settings_paths.h"
#include "tests/support/service_wire.h"
#include "tests/support/simulated_user.h"
#include "tests/support/child_process.h"
#include "tests/support/http_peer.h"
#include "tests/support/registry_sandbox.h"

using dialog_testing::SimulatedUser;
using faults_testing::ExpectBackToStart;
using faults_testing::TakeFigures;
using testing_support::HttpPeer;
using testing_support::kAddUrlPath;
using testing_support::kCategoriesPath;
using testing_support::Ok;
using testing_support::ScriptedReply;

namespace {

constexpr wchar_t kAddCaption[] = L"Add to Tavrello.com";
constexpr wchar_t kOptionsCaption[] = L"Tavrello Options";
constexpr wchar_t kNewCategoryCaption[] = L"Add New Catagory";
constexpr int kAddRounds = 1000;
constexpr int kDialogOpenings = 200;
// Rounds before the first figures, so that one-time set-up (WinInet, common controls, the
// icon module's images) is not taken for a leak.
constexpr int kWarmUpRounds = 10;

// The real plug-in UI; message boxes and the browser only recorded.
class RecordingUi : public plugin::PluginClientUi {
public:
    // The plug-in's module registers the tree's class when loaded; no module is here.
    explicit RecordingUi(std::vector<std::string>& messages) : messages_(messages) {
        plugin::RegisterTreeViewClass();
    }
    void ShowMessage(const std::string& text, const char*) override { messages_.push_back(text); }
    bool AskRetry(const std::string& text, const char*) override {
        messages_.push_back(text);
        return false;
    }
    void OpenInBrowser(const std::string& url) override { messages_.push_back("open " + url); }

private:
    std::vector<std::string>& messages_;
};

class PluginLeaks : public ::testing::Test {
protected:
    void SetUp() override {
        Store("email", "ann@example.com");
        Store("password", "secret");
        Store("Tavrello", peer_.BaseUrl());
        peer_.Route(kCategoriesPath, Ok("200 OK\n12 Work\n7 Fun and games\n-3 Old\n"));
        peer_.Route(kAddUrlPath, Ok("OK"));
        // The dialog shows its tree icons from the module named like the plug-in.
        iconModule_ = LoadLibraryA(
            (testing_support::TestExecutableFolder() + "dialog_icons\\Corvane.dll").c_str());
        ASSERT_NE(iconModule_, nullptr);
        client_ = std::make_unique<plugin::CTavrello>(std::make_unique<RecordingUi>(messages_));
    }
    void TearDown() override {
        client_.reset();
        FreeLibrary(iconModule_);
    }

    static void Store(const char* name, const std::string& value) {
        common::WriteRegistryString(HKEY_CURRENT_USER, testing_support::kSettingsPath, name,
                                    value.c_str());
    }

    // Runs modal() while the simulated user waits for the dialog and acts on it; false when
    // the dialog never came or was left open.
    static bool WithUser(const wchar_t* caption, void (*act)(SimulatedUser&, HWND),
                         const std::function<void()>& modal) {
        const dialog_testing::DialogRun run = dialog_testing::RunWithUser(caption, act, [&] {
            modal();
            return INT_PTR{0};
        });
        return run.leftOpen == 0 && run.shown;
    }

    static void Confirm(SimulatedUser& user, HWND dialog) { user.ClickAndWaitClosed(dialog, IDOK); }

    bool AddPageRound(int round) {
        return WithUser(kAddCaption, Confirm, [&] {
            client_->AddPage("Page " + std::to_string(round),
                             "http://127.0.0.1/page" + std::to_string(round) + ".htm");
        });
    }

    testing_support::RegistrySandbox sandbox_;
    HttpPeer peer_;
    std::vector<std::string> messages_;
    HMODULE iconModule_ = nullptr;
    std::unique_ptr<plugin::CTavrello> client_;
};

// The figures must see a leak, or their staying put proves nothing.
TEST(LeakFigures, SeeLeakedHandlesWindowsAndMemory) {
    // The thread's first window brings its message queue and input-method window with it;
    // one window kept for the whole check holds them.
    HWND anchor = CreateWindowExA(0, "STATIC", "", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr,
                                  GetModuleHandleA(nullptr), nullptr);
    const auto before = TakeFigures();
    std::vector<HANDLE> events;
    for (int i = 0; i < 16; ++i) events.push_back(CreateEventA(nullptr, TRUE, FALSE, nullptr));
    HWND window = CreateWindowExA(0, "STATIC", "", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr,
                                  GetModuleHandleA(nullptr), nullptr);
    std::vector<char> memory(8 * 1024 * 1024, 'x');
    const auto during = TakeFigures();
    EXPECT_GE(during.handles, before.handles + 16);
    EXPECT_EQ(during.windows, before.windows + 1);
    EXPECT_GE(during.privateBytes, before.privateBytes + memory.size() - 65536);
    DestroyWindow(window);
    for (HANDLE event : events) CloseHandle(event);
    const auto after = TakeFigures();
    EXPECT_EQ(after.handles, before.handles);
    EXPECT_EQ(after.windows, before.windows);
    DestroyWindow(anchor);
    faults_testing::PrintFigures("instrument check", "with 16 events, a window and 8 MiB", during);
}

TEST_F(PluginLeaks, AThousandAddedPagesLeaveHandlesObjectsAndMemoryWhereTheyWere) {
    for (int round = 0; round < kWarmUpRounds; ++round) ASSERT_TRUE(AddPageRound(round));
    const auto start = TakeFigures();
    int completed = 0;
    faults_testing::ResourceFigures middle;
    for (int round = 0; round < kAddRounds; ++round) {
        if (!AddPageRound(round)) break;
        if (++completed == kAddRounds / 2) middle = TakeFigures();
    }
    const auto end = TakeFigures();
    EXPECT_EQ(completed, kAddRounds);
    ExpectBackToStart("1000 add-page rounds", start, middle, end);
    EXPECT_EQ(peer_.RequestsTo(kCategoriesPath).size(), 1u) << "the cached list serves every add";
    EXPECT_EQ(peer_.RequestsTo(kAddUrlPath).size(),
              static_cast<size_t>(kWarmUpRounds + kAddRounds));
    EXPECT_TRUE(messages_.empty()) << messages_.front();
}

TEST_F(PluginLeaks, TwoHundredOpeningsOfEachDialogLeaveNothingBehind) {
    ASSERT_EQ(client_->FetchCategories(), 1);
    struct DialogRun {
        const char* name;
        const wchar_t* caption;
        void (*act)(SimulatedUser&, HWND);
        std::function<INT_PTR()> modal;
    };
    const DialogRun runs[] = {
        {"200 options dialogs", kOptionsCaption, Confirm,
         [] { return plugin::COptionsDlg().DoModal(nullptr); }},
        {"200 new-category dialogs", kNewCategoryCaption,
         [](SimulatedUser& user, HWND dialog) {
             SimulatedUser::Type(dialog, IDC_CATEGORY_NAME, "Recipes");
             user.ClickAndWaitClosed(dialog, IDOK);
         },
         [] { return plugin::CNewCatagoryDlg().DoModal(nullptr); }},
        {"200 add-favorite dialogs, tree shown", kAddCaption,
         [](SimulatedUser& user, HWND dialog) {
             if (!plugin::CAddFavoriteDlg::treeExpanded)
                 SimulatedUser::Press(dialog, IDC_CREATE_IN);
             SimulatedUser::SelectAt(SimulatedUser::Tree(dialog), 4);
             user.ClickAndWaitClosed(dialog, IDCANCEL);
         },
         [this] {
             plugin::CAddFavoriteDlg dialog(*client_, {"Page", "http://127.0.0.1/page.htm"});
             return dialog.DoModal(nullptr);
         }},
    };
    for (const DialogRun& run : runs) {
        INT_PTR result = 0;
        for (int i = 0; i < kWarmUpRounds; ++i) {
            ASSERT_TRUE(WithUser(run.caption, run.act, [&] { result = run.modal(); })) << run.name;
        }
        const auto start = TakeFigures();
        int completed = 0;
        faults_testing::ResourceFigures middle;
        for (int i = 0; i < kDialogOpenings; ++i) {
            if (!WithUser(run.caption, run.act, [&] { result = run.modal(); })) break;
            if (++completed == kDialogOpenings / 2) middle = TakeFigures();
        }
        const auto end = TakeFigures();
        EXPECT_EQ(completed, kDialogOpenings) << run.name;
        ExpectBackToStart(run.name, start, middle, end);
    }
    EXPECT_EQ(peer_.RequestsTo(kCategoriesPath).size(), 1u);
    EXPECT_TRUE(messages_.empty());
}

}  // namespace
