// CAddFavoriteDlg: confirms a page before it goes to the service, with its description, its
// address and, on request, the flat list of the user's categories to put it in.
//
// While it runs it calls back into the service client it was given:
// CopyCategories to fill the tree; RefreshCategories for Refresh and after its options dialog
// (with ReloadSettings first); CreateCategory for a new category; OpenWebPage and OpenHelp for
// the user's page and the help page.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <string>
#include <vector>

#include "framework/window/dialog.h"
#include "plugin/client/client_ui.h"
#include "plugin/dialogs/image_list.h"
#include "resources/plugin/resource.h"

namespace plugin {

class CTavrello;

// The module whose icons the tree shows; the plug-in's file keeps this name.
constexpr const char kIconModuleName[] = "Corvane.DLL";

// Ids and texts of the tree's fixed items, ahead of the service's categories.
constexpr int kNoCategoryId = -1;
constexpr int kHomeId = 0;
constexpr int kPrivateLinksId = -10;
constexpr const char kNoCategoryText[] = "No catagory - new favorite";
constexpr const char kHomeText[] = "Home";
constexpr const char kPrivateLinksText[] = "Private Links";

// Positions in treeImages.
enum TreeImage { kNoCategoryImage = 0, kCategoryImage = 1, kHomeImage = 2, kPrivateImage = 3 };

// Registers the tree-view window class, which the dialog's template needs.
void RegisterTreeViewClass();

class CAddFavoriteDlg : public framework::CAxDialogImpl<CAddFavoriteDlg, framework::CWindow> {
public:
    enum { IDD = IDD_ADDFAVORITE };

    // Without a client the tree holds the fixed items alone and the buttons that need the
    // service do nothing.
    CAddFavoriteDlg();
    // Preset with the page the user is adding, for client.
    CAddFavoriteDlg(CTavrello& client, const AddFavoriteChoice& choice);
    ~CAddFavoriteDlg() override;

    // What the user confirmed: description, address and category.
    AddFavoriteChoice Choice() const;

    BEGIN_MSG_MAP(CAddFavoriteDlg)
    MESSAGE_HANDLER(WM_INITDIALOG, OnInitDialog)
    COMMAND_HANDLER(IDOK, 0, OnOk)
    COMMAND_HANDLER(IDCANCEL, 0, OnCancel)
    COMMAND_HANDLER(IDC_CREATE_IN, 0, OnToggleTree)
    COMMAND_HANDLER(IDC_OPTIONS, 0, OnOptions)
    COMMAND_HANDLER(IDC_NEW_CATEGORY, 0, OnNewCategory)
    COMMAND_HANDLER(IDC_REFRESH, 0, OnRefresh)
    COMMAND_HANDLER(IDC_MY_PAGE, 0, OnMyPage)
    COMMAND_HANDLER(IDC_HELP_PAGE, 0, OnHelpPage)
    NOTIFY_HANDLER(IDC_CATEGORY_TREE, TVN_SELCHANGEDA, OnTreeSelectionChanged)
    END_MSG_MAP()

    // Fills tree 207 from the service client's category lines behind the three fixed items
    // and selects the first of them.
    void RebuildTree();
    // Sets the dialog's height for the tree shown or hidden, as treeExpanded says.
    void ResizeForTree();
    // Enables the tree and its buttons and focuses the tree when it shows; otherwise disables
    // them and focuses the description, its text selected.
    void ShowTreeState();

    ImageListHandle treeImages;
    std::string pageUrl;
    std::string description;
    int selectedId = kNoCategoryId;
    // The category lines the tree shows, in its order.
    std::vector<std::string> categoryLines;

    // Whether the category tree shows; one flag for every dialog of the process, so the
    // user's last choice carries over to the next page added.
    static bool treeExpanded;

private:
    LRESULT OnInitDialog(UINT, WPARAM, LPARAM, BOOL&);
    LRESULT OnOk(WORD, WORD, HWND, BOOL&);
    LRESULT OnCancel(WORD, WORD, HWND, BOOL&);
    LRESULT OnToggleTree(WORD, WORD, HWND, BOOL&);
    LRESULT OnOptions(WORD, WORD, HWND, BOOL&);
    LRESULT OnNewCategory(WORD, WORD, HWND, BOOL&);
    LRESULT OnRefresh(WORD, WORD, HWND, BOOL&);
    LRESULT OnMyPage(WORD, WORD, HWND, BOOL&);
    LRESULT OnHelpPage(WORD, WORD, HWND, BOOL&);
    LRESULT OnTreeSelectionChanged(int, NMHDR* header, BOOL&);

    void RefreshAndRebuild();
    // Empties the tree and fills it: the fixed items, then one item per line.
    void FillTree(HWND tree, const std::vector<std::string>& lines);
    // Replaces only the lines that differ from those shown; false where too many differ.
    bool ReplaceChangedLines(HWND tree, const std::vector<std::string>& lines);

    static constexpr size_t kFixedItems = 3;
    // The tree's items in their order, the fixed ones first, beside categoryLines.
    std::vector<HTREEITEM> shownItems_;

    CTavrello* client_ = nullptr;
};

}  // namespace plugin
