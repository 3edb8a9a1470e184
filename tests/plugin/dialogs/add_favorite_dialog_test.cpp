// The add-favorite dialog as the service client runs it: a real CTavrello with the real
// dialogs against the local peer, the settings in a sandboxed key, and a simulated user.
// The test peer needs winsock2.h ahead of windows.h.
#include <winsock2.h>

#include "plugin/dialogs/add_favorite_dialog.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdlib>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "common/settings.h"
#include "plugin/client/tavrello.h"
#include "plugin/dialogs/plugin_ui.h"
#include "tests/support/settings_paths.h"
#include "tests/support/service_wire.h"
#include "tests/support/simulated_user.h"
#include "tests/support/child_process.h"
#include "tests/support/http_peer.h"
#include "tests/support/registry_sandbox.h"

using dialog_testing::DanishThread;
using dialog_testing::DialogActions;
using dialog_testing::RunUntilClosed;
using dialog_testing::SimulatedUser;
using dialog_testing::TreeEntry;
using dialog_testing::UserSession;
using testing_support::HttpPeer;
using testing_support::kAddUrlPath;
using testing_support::kCategoriesPath;
using testing_support::kWebPagePath;
using testing_support::Ok;
using testing_support::RecordedRequest;
using testing_support::ScriptedReply;

namespace {

// The flag as the process starts, before any test touched it.
const bool expandedAtLoad = plugin::CAddFavoriteDlg::treeExpanded;

const wchar_t kEnglishCaption[] = L"Add to Tavrello.com";
const wchar_t kDanishCaption[] = L"Tilf\u00f8j til Tavrello.com";
const char kTitle[] = "Page title";
const char kAddress[] = "http://127.0.0.1/page.htm";

ScriptedReply Status(int status) {
    ScriptedReply reply;
    reply.status = status;
    return reply;
}

// The real plug-in UI with its dialogs; message boxes and the browser only recorded, since
// nobody would be there to close them.
class RecordingUi : public plugin::PluginClientUi {
public:
    // The plug-in's module registers the tree's class when loaded; no module is here.
    RecordingUi() { plugin::RegisterTreeViewClass(); }
    void ShowMessage(const std::string& text, const char* caption) override {
        messages.push_back({caption, text});
    }
    bool AskRetry(const std::string& text, const char* caption) override {
        messages.push_back({caption, text});
        return false;
    }
    void OpenInBrowser(const std::string& url) override { opened.push_back(url); }

    std::vector<std::pair<std::string, std::string>> messages;
    std::vector<std::string> opened;
};

std::vector<std::string> Texts(const std::vector<TreeEntry>& entries) {
    std::vector<std::string> texts;
    for (const TreeEntry& entry : entries) texts.push_back(entry.text);
    return texts;
}

// Bottom edges, in screen pixels, of the dialog and of what it should end at.
struct Edges {
    int dialog = 0;
    int collapsed = 0;
    int expanded = 0;
    // The client area's height, and the height that the template gives it.
    int clientHeight = 0;
    int templateHeight = 0;
};

Edges EdgesOf(HWND dialog) {
    RECT window = {}, tree = {}, createIn = {};
    GetWindowRect(dialog, &window);
    GetWindowRect(GetDlgItem(dialog, IDC_CATEGORY_TREE), &tree);
    GetWindowRect(GetDlgItem(dialog, IDC_CREATE_IN), &createIn);
    const int margin = tree.left - window.left;
    RECT client = {}, templateSize = {0, 0, 267, 233};
    GetClientRect(dialog, &client);
    MapDialogRect(dialog, &templateSize);
    return {window.bottom, createIn.bottom + margin, tree.bottom + margin, client.bottom,
            templateSize.bottom};
}

class AddFavorite : public ::testing::Test {
protected:
    void SetUp() override {
        Store("email", "ann@example.com");
        Store("password", "secret");
        Store("Tavrello", peer_.BaseUrl());
        peer_.Route(kCategoriesPath, Ok("200 OK\n12 Work\n7 Fun and games\n"));
        peer_.Route(kAddUrlPath, Ok("OK"));
        // Each test starts as the plug-in does when it is loaded.
        plugin::CAddFavoriteDlg::treeExpanded = false;
        auto ui = std::make_unique<RecordingUi>();
        ui_ = ui.get();
        client_ = std::make_unique<plugin::CTavrello>(std::move(ui));
    }

    static void Store(const char* name, const std::string& value) {
        common::WriteRegistryString(HKEY_CURRENT_USER, testing_support::kSettingsPath, name,
                                    value.c_str());
    }

    // Adds a page the way the browser command does, with the user acting on the dialog.
    void AddPage(const DialogActions& act, const wchar_t* caption = kEnglishCaption,
                 const std::string& title = kTitle, const std::string& address = kAddress) {
        RunUntilClosed(caption, act, [&] {
            client_->AddPage(title, address);
            return INT_PTR{0};
        });
    }

    size_t Requests(const char* path) const { return peer_.RequestsTo(path).size(); }

    // The fields of the last add request.
    std::map<std::string, std::string> LastAdd() const {
        const std::vector<RecordedRequest> adds = peer_.RequestsTo(kAddUrlPath);
        if (adds.empty()) return {};
        return testing_support::DecodeForm(adds.back().body);
    }
    std::string LastParent() const {
        auto fields = LastAdd();
        return fields.count("parent") ? fields["parent"] : "(no add request)";
    }

    testing_support::RegistrySandbox sandbox_;
    HttpPeer peer_;
    RecordingUi* ui_ = nullptr;
    std::unique_ptr<plugin::CTavrello> client_;
};

TEST_F(AddFavorite, FirstUseOpensCollapsedWithThePageFilledInAndNoCategorySelected) {
    EXPECT_FALSE(expandedAtLoad);
    std::string description, address, selected;
    bool descriptionHasFocus = false;
    Edges edges;
    AddPage([&](SimulatedUser& user, HWND dialog) {
        description = user.Text(dialog, IDC_DESCRIPTION);
        address = user.Text(dialog, IDC_PAGE_URL);
        selected = user.SelectedText(user.Tree(dialog));
        descriptionHasFocus = user.Focus(dialog) == GetDlgItem(dialog, IDC_DESCRIPTION);
        edges = EdgesOf(dialog);
        user.ClickAndWaitClosed(dialog, IDOK);
    });
    EXPECT_EQ(description, kTitle);
    EXPECT_EQ(address, kAddress);
    EXPECT_EQ(selected, "No catagory - new favorite");
    EXPECT_TRUE(descriptionHasFocus) << "the tree is out of sight";
    EXPECT_EQ(edges.dialog, edges.collapsed);
    EXPECT_LT(edges.collapsed, edges.expanded);

    ASSERT_EQ(Requests(kAddUrlPath), 1u);
    const auto fields = LastAdd();
    EXPECT_EQ(fields.at("email"), "ann@example.com");
    EXPECT_EQ(fields.at("password"), "secret");
    EXPECT_EQ(fields.at("name"), kTitle);
    EXPECT_EQ(fields.at("url"), kAddress);
    EXPECT_EQ(fields.at("parent"), "-1");
}

TEST_F(AddFavorite, CreateInExpandsAndTheNextDialogOfTheProcessOpensExpanded) {
    Edges atOpen, afterToggle, secondAtOpen, secondAfterToggle;
    std::string buttonText;
    AddPage([&](SimulatedUser& user, HWND dialog) {
        atOpen = EdgesOf(dialog);
        user.Press(dialog, IDC_CREATE_IN);
        afterToggle = EdgesOf(dialog);
        buttonText = user.Text(dialog, IDC_CREATE_IN);
        user.ClickAndWaitClosed(dialog, IDCANCEL);
    });
    EXPECT_TRUE(plugin::CAddFavoriteDlg::treeExpanded);
    AddPage([&](SimulatedUser& user, HWND dialog) {
        secondAtOpen = EdgesOf(dialog);
        user.Press(dialog, IDC_CREATE_IN);
        secondAfterToggle = EdgesOf(dialog);
        user.ClickAndWaitClosed(dialog, IDCANCEL);
    });
    EXPECT_EQ(atOpen.dialog, atOpen.collapsed);
    EXPECT_EQ(afterToggle.dialog, afterToggle.expanded);
    EXPECT_EQ(buttonText, "Create in <<");
    // Opening expanded keeps the template's size, which shows the whole tree.
    EXPECT_EQ(secondAtOpen.clientHeight, secondAtOpen.templateHeight);
    EXPECT_GT(secondAtOpen.dialog, secondAtOpen.collapsed);
    EXPECT_EQ(secondAfterToggle.dialog, secondAfterToggle.collapsed);
    EXPECT_FALSE(plugin::CAddFavoriteDlg::treeExpanded);
    EXPECT_EQ(Requests(kAddUrlPath), 0u) << "Cancel sends nothing";
}

TEST_F(AddFavorite, KeysReachTheTreeAndItsButtonsOnlyWhileTheyShow) {
    struct Case {
        const char* name;
        int toggles;  // presses of "Create in <<" before the keys
        bool expanded;
        const char* selectedAfterDown;
        const char* parent;
    };
    const Case cases[] = {
        {"collapsed at open", 0, false, "No catagory - new favorite", "-1"},
        {"expanded", 1, true, "Home", "0"},
        {"collapsed again", 2, false, "No catagory - new favorite", "-1"},
    };
    const std::set<int> hidden = {IDC_CATEGORY_TREE, IDC_NEW_CATEGORY, IDC_REFRESH};
    for (const Case& c : cases) {
        plugin::CAddFavoriteDlg::treeExpanded = false;
        HWND focus = nullptr, tree = nullptr, description = nullptr;
        bool textSelected = false, treeEnabled = false;
        std::set<int> tabbed;  // every control the focus reached, the first one included
        std::string selected;
        AddPage([&](SimulatedUser& user, HWND dialog) {
            for (int i = 0; i < c.toggles; ++i) user.Press(dialog, IDC_CREATE_IN);
            focus = user.Focus(dialog);
            tabbed.insert(GetDlgCtrlID(focus));
            tree = user.Tree(dialog);
            description = GetDlgItem(dialog, IDC_DESCRIPTION);
            DWORD from = 1, to = 0;
            SendMessageA(description, EM_GETSEL, reinterpret_cast<WPARAM>(&from),
                         reinterpret_cast<LPARAM>(&to));
            textSelected = from == 0 && to == sizeof kTitle - 1;
            treeEnabled = IsWindowEnabled(tree) != FALSE;
            // Down, then Tab round the dialog: once the focus has moved, Down was handled.
            user.PostKey(dialog, VK_DOWN);
            for (HWND at = user.PressTab(dialog); at && at != focus && tabbed.size() < 20;
                 at = user.PressTab(dialog)) {
                tabbed.insert(GetDlgCtrlID(at));
            }
            selected = user.SelectedText(tree);
            user.ClickAndWaitClosed(dialog, IDOK);
        });
        EXPECT_EQ(focus, c.expanded ? tree : description) << c.name;
        EXPECT_TRUE(c.expanded || textSelected) << c.name << ": the description selected";
        EXPECT_EQ(treeEnabled, c.expanded) << c.name;
        EXPECT_TRUE(tabbed.count(IDOK) && tabbed.count(IDC_CREATE_IN)) << c.name;
        for (int id : hidden) {
            EXPECT_EQ(tabbed.count(id) == 1, c.expanded) << c.name << ": control " << id;
        }
        EXPECT_EQ(selected, c.selectedAfterDown) << c.name;
        EXPECT_EQ(LastParent(), c.parent) << c.name;
    }
}

TEST_F(AddFavorite, CommandsWithANotificationCodeAreIgnored) {
    bool stillOpen = false;
    Edges before, after;
    AddPage([&](SimulatedUser& user, HWND dialog) {
        before = EdgesOf(dialog);
        SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDC_CREATE_IN, 1), 0);
        SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDOK, 1), 0);
        after = EdgesOf(dialog);
        stillOpen = IsWindowVisible(dialog) != FALSE;
        user.PressEscape(dialog);
        user.WaitUntilClosed(dialog);
    });
    EXPECT_TRUE(stillOpen);
    EXPECT_EQ(after.dialog, before.dialog);
    EXPECT_EQ(Requests(kAddUrlPath), 0u) << "Esc cancels";
}

TEST_F(AddFavorite, TreeListsTheFixedItemsThenEveryLineInReplyOrder) {
    peer_.Route(kCategoriesPath,
                Ok("200 OK\n12 Work\nNoBlank\n\n-3 Old stuff\n 5 Leading blank\n7 Fun and games"));
    std::vector<TreeEntry> entries;
    AddPage([&](SimulatedUser& user, HWND dialog) {
        entries = user.TreeEntries(user.Tree(dialog));
        user.ClickAndWaitClosed(dialog, IDCANCEL);
    });
    const std::vector<std::string> texts = {"No catagory - new favorite",
                                            "Home",
                                            "Private Links",
                                            "Work",
                                            "NoBlank",
                                            "",
                                            "Old stuff",
                                            " 5 Leading blank",
                                            "Fun and games"};
    EXPECT_EQ(Texts(entries), texts);
    std::vector<int> images;
    for (const TreeEntry& entry : entries) images.push_back(entry.image);
    EXPECT_EQ(images, (std::vector<int>{0, 2, 3, 1, 1, 1, 1, 1, 1}));
}

TEST_F(AddFavorite, EmptyCategoryListShowsOnlyTheFixedItems) {
    peer_.Route(kCategoriesPath, Ok("200 OK\n"));
    std::vector<TreeEntry> entries;
    AddPage([&](SimulatedUser& user, HWND dialog) {
        entries = user.TreeEntries(user.Tree(dialog));
        user.ClickAndWaitClosed(dialog, IDOK);
    });
    EXPECT_EQ(Texts(entries),
              (std::vector<std::string>{"No catagory - new favorite", "Home", "Private Links"}));
    EXPECT_EQ(LastParent(), "-1");
}

TEST_F(AddFavorite, TheSelectedItemsIdIsSentAsParent) {
    peer_.Route(kCategoriesPath,
                Ok("200 OK\n12 Work\nNoBlank\n\n-3 Old stuff\n 5 Leading blank\n"));
    struct Case {
        size_t position;
        const char* parent;
    };
    const Case cases[] = {{1, "0"},  {2, "-10"}, {3, "12"}, {4, "-1"},
                          {5, "-1"}, {6, "-3"},  {7, "-1"}, {0, "-1"}};
    for (const Case& c : cases) {
        bool selected = false;
        AddPage([&](SimulatedUser& user, HWND dialog) {
            // Another item first, so that the wanted one is a change of selection.
            user.SelectAt(user.Tree(dialog), c.position == 1 ? 2 : 1);
            selected = user.SelectAt(user.Tree(dialog), c.position);
            user.ClickAndWaitClosed(dialog, IDOK);
        });
        EXPECT_TRUE(selected) << c.position;
        EXPECT_EQ(LastParent(), c.parent) << "item " << c.position;
    }
    EXPECT_EQ(Requests(kCategoriesPath), 1u) << "the list is fetched once and kept";
}

TEST_F(AddFavorite, EditedDescriptionAndAddressAreWhatIsSent) {
    AddPage([&](SimulatedUser& user, HWND dialog) {
        user.Type(dialog, IDC_DESCRIPTION, "My own name for it");
        user.Type(dialog, IDC_PAGE_URL, "http://127.0.0.1/other.htm");
        user.SelectByText(user.Tree(dialog), "Work");
        user.ClickAndWaitClosed(dialog, IDOK);
    });
    const auto fields = LastAdd();
    EXPECT_EQ(fields.at("name"), "My own name for it");
    EXPECT_EQ(fields.at("url"), "http://127.0.0.1/other.htm");
    EXPECT_EQ(fields.at("parent"), "12");
}

TEST_F(AddFavorite, DanishLayoutSendsTheAddressTheBrowserGave) {
    DanishThread danish;
    bool hasAddressField = true, hasOwnPageButton = false;
    AddPage(
        [&](SimulatedUser& user, HWND dialog) {
            hasAddressField = GetDlgItem(dialog, IDC_PAGE_URL) != nullptr;
            hasOwnPageButton = GetDlgItem(dialog, IDC_MY_PAGE) != nullptr;
            user.Type(dialog, IDC_DESCRIPTION, "Dansk titel");
            user.ClickAndWaitClosed(dialog, IDOK);
        },
        kDanishCaption);
    EXPECT_FALSE(hasAddressField);
    EXPECT_TRUE(hasOwnPageButton);
    const auto fields = LastAdd();
    EXPECT_EQ(fields.at("name"), "Dansk titel");
    EXPECT_EQ(fields.at("url"), kAddress);
    EXPECT_EQ(fields.at("parent"), "-1");
}

TEST_F(AddFavorite, OwnPageAndHelpButtonsOpenTheirPages) {
    peer_.Route(kWebPagePath, Ok(peer_.BaseUrl() + "users/ann"));
    DanishThread danish;
    AddPage(
        [&](SimulatedUser& user, HWND dialog) {
            user.Press(dialog, IDC_MY_PAGE);
            user.Press(dialog, IDC_HELP_PAGE);
            user.ClickAndWaitClosed(dialog, IDCANCEL);
        },
        kDanishCaption);
    EXPECT_EQ(Requests(kWebPagePath), 1u);
    EXPECT_EQ(ui_->opened, (std::vector<std::string>{peer_.BaseUrl() + "users/ann",
                                                     peer_.BaseUrl() + "help/plugin.htm"}));
}

TEST_F(AddFavorite, NewCategoryWithANamePostsItAndRebuildsWithTheFirstItemSelected) {
    std::vector<std::string> texts;
    std::string selectedBefore, selectedAfter;
    bool nameDialogShown = false;
    AddPage([&](SimulatedUser& user, HWND dialog) {
        user.SelectByText(user.Tree(dialog), "Home");
        selectedBefore = user.SelectedText(user.Tree(dialog));
        peer_.Route(kCategoriesPath, Ok("200 OK\n12 Work\n44 Travel\n7 Fun and games\n"));
        user.Click(dialog, IDC_NEW_CATEGORY);
        HWND name = user.WaitForDialog(L"Add New Catagory");
        nameDialogShown = name != nullptr;
        if (!name) return;
        user.Type(name, IDC_CATEGORY_NAME, "Travel");
        user.ClickAndWaitClosed(name, IDOK);
        dialog = user.WaitForDialog(kEnglishCaption);
        if (!dialog) return;
        texts = Texts(user.TreeEntries(user.Tree(dialog)));
        selectedAfter = user.SelectedText(user.Tree(dialog));
        user.ClickAndWaitClosed(dialog, IDOK);
    });
    ASSERT_TRUE(nameDialogShown);
    EXPECT_EQ(selectedBefore, "Home");
    EXPECT_EQ(texts,
              (std::vector<std::string>{"No catagory - new favorite", "Home", "Private Links",
                                        "Work", "Travel", "Fun and games"}));
    EXPECT_EQ(selectedAfter, "No catagory - new favorite");

    const std::vector<RecordedRequest> adds = peer_.RequestsTo(kAddUrlPath);
    ASSERT_EQ(adds.size(), 2u);
    const auto create = testing_support::DecodeForm(adds[0].body);
    EXPECT_EQ(create.at("name"), "Travel");
    EXPECT_EQ(create.at("url"), "-");
    EXPECT_EQ(create.at("parent"), "0");
    EXPECT_EQ(Requests(kCategoriesPath), 2u) << "the list is fetched again after the create";
    EXPECT_EQ(LastParent(), "-1");
}

TEST_F(AddFavorite, NewCategoryWithoutANameOrCancelledChangesNothing) {
    struct Case {
        const char* name;
        const char* typed;
        int button;
    };
    for (const Case& c : {Case{"empty name", "", IDOK}, Case{"cancelled", "Travel", IDCANCEL}}) {
        const size_t fetchesBefore = Requests(kCategoriesPath);
        const size_t addsBefore = Requests(kAddUrlPath);
        std::vector<std::string> textsBefore, textsAfter;
        std::string selectedAfter;
        AddPage([&](SimulatedUser& user, HWND dialog) {
            user.SelectByText(user.Tree(dialog), "Work");
            textsBefore = Texts(user.TreeEntries(user.Tree(dialog)));
            user.Click(dialog, IDC_NEW_CATEGORY);
            HWND name = user.WaitForDialog(L"Add New Catagory");
            if (!name) return;
            user.Type(name, IDC_CATEGORY_NAME, c.typed);
            user.ClickAndWaitClosed(name, c.button);
            dialog = user.WaitForDialog(kEnglishCaption);
            if (!dialog) return;
            textsAfter = Texts(user.TreeEntries(user.Tree(dialog)));
            selectedAfter = user.SelectedText(user.Tree(dialog));
            user.ClickAndWaitClosed(dialog, IDOK);
        });
        EXPECT_EQ(textsAfter, textsBefore) << c.name;
        EXPECT_EQ(selectedAfter, "Work") << c.name;
        EXPECT_LE(Requests(kCategoriesPath) - fetchesBefore, 1u) << c.name;
        EXPECT_EQ(Requests(kAddUrlPath), addsBefore + 1) << c.name << ": only the page itself";
        EXPECT_EQ(LastParent(), "12") << c.name;
    }
}

// A refresh replaces only the lines that changed; the tree must still read as the new list,
// each item with its own category id.
TEST_F(AddFavorite, RefreshFetchesTheListAgainAndRebuildsEvenWhenTheFetchFails) {
    const std::string withMusic = "200 OK\n12 Work\n5 Music\n7 Fun and games\n";
    std::vector<std::string> afterInsert, afterRefresh, afterFailure;
    std::string selectedAfterRefresh;
    AddPage([&](SimulatedUser& user, HWND dialog) {
        user.SelectByText(user.Tree(dialog), "Work");
        peer_.Route(kCategoriesPath, Ok(withMusic));
        user.Press(dialog, IDC_REFRESH);
        afterInsert = Texts(user.TreeEntries(user.Tree(dialog)));
        peer_.Route(kCategoriesPath, Ok("200 OK\n3 Books\n"));
        user.Press(dialog, IDC_REFRESH);
        afterRefresh = Texts(user.TreeEntries(user.Tree(dialog)));
        selectedAfterRefresh = user.SelectedText(user.Tree(dialog));
        peer_.Route(kCategoriesPath, Status(500));
        user.Press(dialog, IDC_REFRESH);
        afterFailure = Texts(user.TreeEntries(user.Tree(dialog)));
        peer_.Route(kCategoriesPath, Ok(withMusic));
        user.Press(dialog, IDC_REFRESH);
        user.SelectByText(user.Tree(dialog), "Music");
        user.ClickAndWaitClosed(dialog, IDOK);
    });
    const std::vector<std::string> fixed = {"No catagory - new favorite", "Home", "Private Links"};
    auto with = [&](std::vector<std::string> names) {
        names.insert(names.begin(), fixed.begin(), fixed.end());
        return names;
    };
    EXPECT_EQ(afterInsert, with({"Work", "Music", "Fun and games"}));
    EXPECT_EQ(afterRefresh, with({"Books"}));
    EXPECT_EQ(selectedAfterRefresh, "No catagory - new favorite");
    EXPECT_EQ(afterFailure, fixed);
    EXPECT_EQ(Requests(kCategoriesPath), 5u);
    ASSERT_EQ(ui_->messages.size(), 1u) << "the failed fetch reports itself";
    EXPECT_EQ(ui_->messages[0].first, "Error");
    EXPECT_EQ(LastParent(), "5");
}

TEST_F(AddFavorite, OptionsWithOkSwitchesTheClientToTheNewAccountAndItsCategories) {
    std::vector<std::string> texts;
    AddPage([&](SimulatedUser& user, HWND dialog) {
        peer_.Route(kCategoriesPath, Ok("200 OK\n2 Bo's list\n"));
        user.Click(dialog, IDC_OPTIONS);
        HWND options = user.WaitForDialog(L"Tavrello Options");
        if (!options) return;
        user.Type(options, IDC_EMAIL, "bo@example.com");
        user.Type(options, IDC_PASSWORD, "bo's secret");
        user.ClickAndWaitClosed(options, IDOK);
        dialog = user.WaitForDialog(kEnglishCaption);
        if (!dialog) return;
        texts = Texts(user.TreeEntries(user.Tree(dialog)));
        user.SelectByText(user.Tree(dialog), "Bo's list");
        user.ClickAndWaitClosed(dialog, IDOK);
    });
    EXPECT_EQ(testing_support::ReadText(HKEY_CURRENT_USER, "Software\\Orvek\\Tavrello", "email"),
              "bo@example.com");
    const std::vector<RecordedRequest> fetches = peer_.RequestsTo(kCategoriesPath);
    ASSERT_EQ(fetches.size(), 2u);
    EXPECT_EQ(testing_support::DecodeForm(fetches[1].body).at("email"), "bo@example.com");
    EXPECT_EQ(texts, (std::vector<std::string>{"No catagory - new favorite", "Home",
                                               "Private Links", "Bo's list"}));
    const auto fields = LastAdd();
    EXPECT_EQ(fields.at("email"), "bo@example.com");
    EXPECT_EQ(fields.at("password"), "bo's secret");
    EXPECT_EQ(fields.at("parent"), "2");
}

TEST_F(AddFavorite, OptionsCancelledChangesNothing) {
    std::vector<std::string> before, after;
    std::string selectedAfter;
    AddPage([&](SimulatedUser& user, HWND dialog) {
        user.SelectByText(user.Tree(dialog), "Work");
        before = Texts(user.TreeEntries(user.Tree(dialog)));
        user.Click(dialog, IDC_OPTIONS);
        HWND options = user.WaitForDialog(L"Tavrello Options");
        if (!options) return;
        user.Type(options, IDC_EMAIL, "bo@example.com");
        user.ClickAndWaitClosed(options, IDCANCEL);
        dialog = user.WaitForDialog(kEnglishCaption);
        if (!dialog) return;
        after = Texts(user.TreeEntries(user.Tree(dialog)));
        selectedAfter = user.SelectedText(user.Tree(dialog));
        user.ClickAndWaitClosed(dialog, IDOK);
    });
    EXPECT_EQ(testing_support::ReadText(HKEY_CURRENT_USER, "Software\\Orvek\\Tavrello", "email"),
              "ann@example.com");
    EXPECT_EQ(Requests(kCategoriesPath), 1u);
    EXPECT_EQ(after, before);
    EXPECT_EQ(selectedAfter, "Work");
    EXPECT_EQ(LastAdd().at("email"), "ann@example.com");
    EXPECT_EQ(LastParent(), "12");
}

TEST_F(AddFavorite, WithoutAnAccountTheOptionsDialogComesFirst) {
    struct Case {
        const char* name;
        int button;
        size_t fetches;
        size_t adds;
    };
    for (const Case& c : {Case{"ok", IDOK, 1, 1}, Case{"cancel", IDCANCEL, 0, 0}}) {
        testing_support::RegistrySandbox fresh;
        Store("Tavrello", peer_.BaseUrl());
        client_->ReloadSettings();
        const size_t fetchesBefore = Requests(kCategoriesPath);
        const size_t addsBefore = Requests(kAddUrlPath);
        bool addDialogShown = false;
        UserSession session([&](SimulatedUser& user) {
            HWND options = user.WaitForDialog(L"Tavrello Options");
            if (!options) return;
            user.Type(options, IDC_EMAIL, "cy@example.com");
            user.Type(options, IDC_PASSWORD, "cy's secret");
            user.ClickAndWaitClosed(options, c.button);
            if (c.button != IDOK) return;
            HWND dialog = user.WaitForDialog(kEnglishCaption);
            addDialogShown = dialog != nullptr;
            if (dialog) user.ClickAndWaitClosed(dialog, IDOK);
        });
        client_->AddPage(kTitle, kAddress);
        EXPECT_EQ(session.LeftOpen(), 0) << c.name;
        EXPECT_EQ(addDialogShown, c.button == IDOK) << c.name;
        EXPECT_EQ(Requests(kCategoriesPath) - fetchesBefore, c.fetches) << c.name;
        EXPECT_EQ(Requests(kAddUrlPath) - addsBefore, c.adds) << c.name;
        if (c.adds) {
            EXPECT_EQ(LastAdd().at("email"), "cy@example.com") << c.name;
        }
    }
}

// --- The tree's pictures come from the module named Corvane.DLL ---

std::string IconFolder() {
    return testing_support::TestExecutableFolder() + "dialog_icons\\";
}

// 16 by 16 pixels drawn on white, as 32-bit values.
class Canvas {
public:
    Canvas() {
        BITMAPINFO info = {};
        info.bmiHeader.biSize = sizeof info.bmiHeader;
        info.bmiHeader.biWidth = 16;
        info.bmiHeader.biHeight = -16;
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 32;
        dc_ = CreateCompatibleDC(nullptr);
        bitmap_ = CreateDIBSection(dc_, &info, DIB_RGB_COLORS, reinterpret_cast<void**>(&bits_),
                                   nullptr, 0);
        old_ = SelectObject(dc_, bitmap_);
        for (int i = 0; i < 256; ++i) bits_[i] = 0xFFFFFF;
    }
    ~Canvas() {
        SelectObject(dc_, old_);
        DeleteObject(bitmap_);
        DeleteDC(dc_);
    }
    HDC Dc() const { return dc_; }
    long Distance(const Canvas& other) const {
        GdiFlush();
        long sum = 0;
        for (int i = 0; i < 256; ++i) {
            for (int shift = 0; shift < 24; shift += 8) {
                sum += std::abs(static_cast<int>((bits_[i] >> shift) & 0xFF) -
                                static_cast<int>((other.bits_[i] >> shift) & 0xFF));
            }
        }
        return sum;
    }

private:
    HDC dc_ = nullptr;
    HBITMAP bitmap_ = nullptr;
    HGDIOBJ old_ = nullptr;
    DWORD* bits_ = nullptr;
};

// For each image of the list, the icon of the module it looks most like.
std::vector<int> IconsShown(HIMAGELIST list, HMODULE module) {
    const int iconIds[] = {IDI_NO_CATEGORY, IDI_FOLDER, IDI_HOME, IDI_PRIVATE};
    std::vector<std::unique_ptr<Canvas>> icons;
    for (int id : iconIds) {
        icons.push_back(std::make_unique<Canvas>());
        HICON icon =
            static_cast<HICON>(LoadImageA(module, MAKEINTRESOURCEA(id), IMAGE_ICON, 16, 16, 0));
        DrawIconEx(icons.back()->Dc(), 0, 0, icon, 16, 16, 0, nullptr, DI_NORMAL);
        DestroyIcon(icon);
    }
    std::vector<int> shown;
    for (int index = 0; index < ImageList_GetImageCount(list); ++index) {
        Canvas image;
        ImageList_Draw(list, index, image.Dc(), 0, 0, ILD_NORMAL);
        long best = LONG_MAX;
        int bestId = 0;
        for (size_t i = 0; i < icons.size(); ++i) {
            const long distance = image.Distance(*icons[i]);
            if (distance < best) {
                best = distance;
                bestId = iconIds[i];
            }
        }
        shown.push_back(bestId);
    }
    return shown;
}

TEST_F(AddFavorite, TreeShowsTheIconsOfTheModuleNamedCorvaneInTheirOrder) {
    framework::LibraryHandle module(LoadLibraryA((IconFolder() + "Corvane.dll").c_str()));
    ASSERT_TRUE(module) << IconFolder();
    plugin::CAddFavoriteDlg dialog;
    EXPECT_EQ(ImageList_GetImageCount(dialog.treeImages.Get()), 4);
    int width = 0, height = 0;
    ImageList_GetIconSize(dialog.treeImages.Get(), &width, &height);
    EXPECT_EQ(width, 16);
    EXPECT_EQ(height, 16);
    EXPECT_EQ(IconsShown(dialog.treeImages.Get(), module.Get()),
              (std::vector<int>{IDI_NO_CATEGORY, IDI_FOLDER, IDI_HOME, IDI_PRIVATE}));

    // The live tree draws with that list.
    HIMAGELIST treeList = nullptr;
    UserSession session([&](SimulatedUser& user) {
        HWND shown = user.WaitForDialog(kEnglishCaption);
        if (!shown) return;
        treeList = reinterpret_cast<HIMAGELIST>(
            SendMessageA(user.Tree(shown), TVM_GETIMAGELIST, TVSIL_NORMAL, 0));
        user.ClickAndWaitClosed(shown, IDCANCEL);
    });
    EXPECT_EQ(dialog.DoModal(nullptr), IDCANCEL);
    EXPECT_EQ(session.LeftOpen(), 0);
    EXPECT_EQ(treeList, dialog.treeImages.Get());
}

TEST_F(AddFavorite, WithoutAModuleNamedCorvaneTheTreeHasNoPicturesAndStillWorks) {
    framework::LibraryHandle elsewhere(LoadLibraryA((IconFolder() + "Elsewhere.dll").c_str()));
    ASSERT_TRUE(elsewhere);
    ASSERT_EQ(GetModuleHandleA("Corvane.DLL"), nullptr);
    {
        plugin::CAddFavoriteDlg dialog;
        EXPECT_EQ(ImageList_GetImageCount(dialog.treeImages.Get()), 0);
    }
    std::vector<std::string> texts;
    AddPage([&](SimulatedUser& user, HWND dialog) {
        texts = Texts(user.TreeEntries(user.Tree(dialog)));
        user.SelectByText(user.Tree(dialog), "Private Links");
        user.ClickAndWaitClosed(dialog, IDOK);
    });
    EXPECT_EQ(texts.size(), 5u);
    EXPECT_EQ(LastParent(), "-10");
}

}  // namespace
