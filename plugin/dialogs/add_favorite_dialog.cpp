#include "plugin/dialogs/add_favorite_dialog.h"

#include "plugin/client/reply_grammar.h"
#include "plugin/client/tavrello.h"
#include "plugin/dialogs/new_category_dialog.h"
#include "plugin/dialogs/options_dialog.h"

namespace plugin {

bool CAddFavoriteDlg::treeExpanded = false;

void RegisterTreeViewClass() {
    INITCOMMONCONTROLSEX classes = {sizeof classes, ICC_TREEVIEW_CLASSES};
    InitCommonControlsEx(&classes);
}

namespace {

constexpr int kIconSize = 16;

// Image-list slots in order, by the icon resource each shows.
constexpr int kTreeIconIds[] = {IDI_NO_CATEGORY, IDI_FOLDER, IDI_HOME, IDI_PRIVATE};

void AddModuleIcons(HIMAGELIST list) {
    if (!list) return;
    // Without the plug-in's module in the process the tree simply has no pictures.
    for (int iconId : kTreeIconIds) {
        const framework::IconHandle icon =
            framework::LoadNamedModuleIcon(kIconModuleName, iconId, kIconSize);
        if (icon) ImageList_AddIcon(list, icon.Get());
    }
}

// Repainting after every one of thousands of insertions is what makes a long list stall.
class RedrawSuspension {
public:
    explicit RedrawSuspension(HWND window) : window_(window) {
        ::SendMessageA(window_, WM_SETREDRAW, FALSE, 0);
    }
    ~RedrawSuspension() {
        ::SendMessageA(window_, WM_SETREDRAW, TRUE, 0);
        InvalidateRect(window_, nullptr, TRUE);
    }
    RedrawSuspension(const RedrawSuspension&) = delete;
    RedrawSuspension& operator=(const RedrawSuspension&) = delete;

private:
    HWND window_;
};

// Puts an item into the tree's root list after the one given; the item keeps its category id
// itself, so no table beside the tree has to be searched for it.
HTREEITEM InsertItem(HWND tree, HTREEITEM after, const char* text, int image, int id) {
    TVINSERTSTRUCTA insert = {};
    insert.hParent = TVI_ROOT;
    insert.hInsertAfter = after;
    insert.item.mask = TVIF_TEXT | TVIF_IMAGE | TVIF_SELECTEDIMAGE | TVIF_PARAM;
    insert.item.pszText = const_cast<char*>(text);
    insert.item.iImage = image;
    insert.item.iSelectedImage = image;
    insert.item.lParam = id;
    return reinterpret_cast<HTREEITEM>(
        ::SendMessageA(tree, TVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&insert)));
}

// The name is the tail of its line, so it ends where the line's own text does: no copy.
HTREEITEM InsertLine(HWND tree, HTREEITEM after, const std::string& line) {
    const CategoryLine category = SplitCategoryLine(line);
    return InsertItem(tree, after, category.name.data(), kCategoryImage, category.id);
}

}  // namespace

CAddFavoriteDlg::CAddFavoriteDlg()
    : treeImages(ImageList_Create(kIconSize, kIconSize, ILC_COLORDDB | ILC_MASK, 1, 0)) {
    AddModuleIcons(treeImages.Get());
}

CAddFavoriteDlg::CAddFavoriteDlg(CTavrello& client, const AddFavoriteChoice& choice)
    : CAddFavoriteDlg() {
    client_ = &client;
    description = choice.description;
    pageUrl = choice.pageUrl;
    selectedId = choice.selectedId;
}

AddFavoriteChoice CAddFavoriteDlg::Choice() const {
    AddFavoriteChoice choice;
    choice.description = description;
    choice.pageUrl = pageUrl;
    choice.selectedId = selectedId;
    return choice;
}

CAddFavoriteDlg::~CAddFavoriteDlg() = default;

LRESULT CAddFavoriteDlg::OnInitDialog(UINT, WPARAM, LPARAM, BOOL&) {
    SetDlgItemText(IDC_DESCRIPTION, description.c_str());
    SetDlgItemText(IDC_PAGE_URL, pageUrl.c_str());
    RebuildTree();
    if (!treeExpanded) ResizeForTree();
    ShowTreeState();
    // The focus is set already; the dialog manager must not move it.
    return FALSE;
}

void CAddFavoriteDlg::RebuildTree() {
    std::vector<std::string> lines;
    if (client_) client_->CopyCategories(lines);

    HWND tree = GetDlgItem(IDC_CATEGORY_TREE);
    RedrawSuspension quiet(tree);
    ::SendMessageA(tree, TVM_SETIMAGELIST, TVSIL_NORMAL,
                   reinterpret_cast<LPARAM>(treeImages.Get()));
    const size_t count = static_cast<size_t>(::SendMessageA(tree, TVM_GETCOUNT, 0, 0));
    if (shownItems_.empty() || count != shownItems_.size() || !ReplaceChangedLines(tree, lines)) {
        FillTree(tree, lines);
    }
    categoryLines = std::move(lines);

    // Selected once the list stands, which leaves the inserts as bare as they can be.
    selectedId = kNoCategoryId;
    ::SendMessageA(tree, TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(shownItems_[0]));
    if (treeExpanded) ::SetFocus(tree);
}

void CAddFavoriteDlg::FillTree(HWND tree, const std::vector<std::string>& lines) {
    ::SendMessageA(tree, TVM_DELETEITEM, 0, reinterpret_cast<LPARAM>(TVI_ROOT));
    shownItems_.clear();
    shownItems_.reserve(kFixedItems + lines.size());
    // Appending keeps the reply's order and spares the tree any search for a position.
    shownItems_.push_back(
        InsertItem(tree, TVI_LAST, kNoCategoryText, kNoCategoryImage, kNoCategoryId));
    shownItems_.push_back(InsertItem(tree, TVI_LAST, kHomeText, kHomeImage, kHomeId));
    shownItems_.push_back(
        InsertItem(tree, TVI_LAST, kPrivateLinksText, kPrivateImage, kPrivateLinksId));
    for (const std::string& line : lines) shownItems_.push_back(InsertLine(tree, TVI_LAST, line));
}

bool CAddFavoriteDlg::ReplaceChangedLines(HWND tree, const std::vector<std::string>& lines) {
    // A refresh mostly finds the list it shows, or one with a few lines changed: only those
    // are replaced. Each deletion costs a tree of thousands of items far more than an insert,
    // so a list that changed in more places is filled anew.
    constexpr size_t kMostReplaced = 64;
    const std::vector<std::string>& shown = categoryLines;
    size_t prefix = 0;
    while (prefix < shown.size() && prefix < lines.size() && shown[prefix] == lines[prefix]) {
        ++prefix;
    }
    size_t suffix = 0;
    while (suffix < shown.size() - prefix && suffix < lines.size() - prefix &&
           shown[shown.size() - 1 - suffix] == lines[lines.size() - 1 - suffix]) {
        ++suffix;
    }
    const size_t removed = shown.size() - prefix - suffix;
    const size_t added = lines.size() - prefix - suffix;
    if (removed + added > kMostReplaced) return false;

    const auto first = shownItems_.begin() + kFixedItems + prefix;
    for (auto item = first; item != first + removed; ++item) {
        ::SendMessageA(tree, TVM_DELETEITEM, 0, reinterpret_cast<LPARAM>(*item));
    }
    std::vector<HTREEITEM> inserted;
    HTREEITEM after = shownItems_[kFixedItems + prefix - 1];
    for (size_t i = prefix; i < prefix + added; ++i) {
        after = InsertLine(tree, after, lines[i]);
        inserted.push_back(after);
    }
    shownItems_.insert(shownItems_.erase(first, first + removed), inserted.begin(), inserted.end());
    return true;
}

void CAddFavoriteDlg::ResizeForTree() {
    const RECT dialog = GetWindowRect();
    RECT tree = {};
    ::GetWindowRect(GetDlgItem(IDC_CATEGORY_TREE), &tree);
    RECT createIn = {};
    ::GetWindowRect(GetDlgItem(IDC_CREATE_IN), &createIn);
    const int margin = tree.left - dialog.left;
    const int bottom = treeExpanded ? tree.bottom : createIn.bottom;
    SetWindowPos(nullptr, 0, 0, dialog.right - dialog.left, bottom - dialog.top + margin,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void CAddFavoriteDlg::ShowTreeState() {
    // Collapsed, the tree and its buttons lie below the dialog's edge: disabled, neither Tab
    // nor the arrow keys reach them, so nothing unseen changes the category. A disabled
    // control neither takes the focus nor keeps it: enable before focusing, focus elsewhere
    // before disabling.
    const int hidden[] = {IDC_CATEGORY_TREE, IDC_NEW_CATEGORY, IDC_REFRESH};
    if (treeExpanded) {
        for (int id : hidden) ::EnableWindow(GetDlgItem(id), TRUE);
        ::SetFocus(GetDlgItem(IDC_CATEGORY_TREE));
        return;
    }
    HWND description = GetDlgItem(IDC_DESCRIPTION);
    ::SetFocus(description);
    ::SendMessageA(description, EM_SETSEL, 0, -1);
    for (int id : hidden) ::EnableWindow(GetDlgItem(id), FALSE);
}

LRESULT CAddFavoriteDlg::OnOk(WORD, WORD, HWND, BOOL&) {
    description = GetDlgItemText(IDC_DESCRIPTION);
    // The Danish layout has no address field: the browser's address stands.
    if (GetDlgItem(IDC_PAGE_URL)) pageUrl = GetDlgItemText(IDC_PAGE_URL);
    EndDialog(IDOK);
    return 0;
}

LRESULT CAddFavoriteDlg::OnCancel(WORD, WORD, HWND, BOOL&) {
    EndDialog(IDCANCEL);
    return 0;
}

LRESULT CAddFavoriteDlg::OnToggleTree(WORD, WORD, HWND, BOOL&) {
    treeExpanded = !treeExpanded;
    ResizeForTree();
    ShowTreeState();
    return 0;
}

LRESULT CAddFavoriteDlg::OnOptions(WORD, WORD, HWND, BOOL&) {
    COptionsDlg options;
    if (options.DoModal(m_hWnd) != IDOK) return 0;
    // New credentials may name another account: the client takes them up at once and the
    // tree shows that account's categories, instead of adding to the old account's list.
    if (client_) {
        client_->ReloadSettings();
        RefreshAndRebuild();
    }
    return 0;
}

LRESULT CAddFavoriteDlg::OnNewCategory(WORD, WORD, HWND, BOOL&) {
    CNewCatagoryDlg newCategory;
    if (newCategory.DoModal(::GetActiveWindow()) != IDOK || newCategory.categoryName.empty()) {
        return 0;
    }
    if (client_) client_->CreateCategory(newCategory.categoryName);
    RebuildTree();
    return 0;
}

LRESULT CAddFavoriteDlg::OnRefresh(WORD, WORD, HWND, BOOL&) {
    RefreshAndRebuild();
    return 0;
}

void CAddFavoriteDlg::RefreshAndRebuild() {
    // A failed refresh leaves the client's list empty: the tree then shows the fixed items.
    if (client_) client_->RefreshCategories();
    RebuildTree();
}

LRESULT CAddFavoriteDlg::OnMyPage(WORD, WORD, HWND, BOOL&) {
    if (client_) client_->OpenWebPage();
    return 0;
}

LRESULT CAddFavoriteDlg::OnHelpPage(WORD, WORD, HWND, BOOL&) {
    if (client_) client_->OpenHelp();
    return 0;
}

LRESULT CAddFavoriteDlg::OnTreeSelectionChanged(int, NMHDR* header, BOOL&) {
    const auto* change = reinterpret_cast<NMTREEVIEWA*>(header);
    selectedId = change->itemNew.hItem ? static_cast<int>(change->itemNew.lParam) : 0;
    return 0;
}

}  // namespace plugin
