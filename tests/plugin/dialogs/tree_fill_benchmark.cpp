// How long the add-favorite dialog takes to fill its tree with 10,000 categories (over a full
// tree, as a Refresh finds it with the list unchanged, two lines changed or every line new, and
// into the empty tree, as the dialog opens), beside the same number of bare TVM_INSERTITEM calls
// into the same tree, measured in the same run.
#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "plugin/client/tavrello.h"
#include "plugin/dialogs/add_favorite_dialog.h"
#include "plugin/dialogs/plugin_ui.h"

namespace {

constexpr int kCategoryCount = 10000;
constexpr int kRounds = 5;
constexpr UINT kMeasure = WM_APP + 1;

double Milliseconds(const LARGE_INTEGER& start, const LARGE_INTEGER& end) {
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    return 1000.0 * static_cast<double>(end.QuadPart - start.QuadPart) /
           static_cast<double>(frequency.QuadPart);
}

template <typename Work>
double Time(Work work) {
    LARGE_INTEGER start, end;
    QueryPerformanceCounter(&start);
    work();
    QueryPerformanceCounter(&end);
    return Milliseconds(start, end);
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// The dialog as the plug-in shows it, plus one message that runs the measurements once the
// dialog is on screen.
class MeasuredDialog : public plugin::CAddFavoriteDlg {
public:
    explicit MeasuredDialog(plugin::CTavrello& client)
        : CAddFavoriteDlg(client, {}), client_(client) {}
    bool ProcessWindowMessage(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam,
                              LRESULT& result) override {
        if (msg == kMeasure) {
            Measure();
            EndDialog(IDCANCEL);
            result = 0;
            return true;
        }
        const bool handled =
            plugin::CAddFavoriteDlg::ProcessWindowMessage(hwnd, msg, wParam, lParam, result);
        if (msg == WM_INITDIALOG) PostMessage(kMeasure);
        return handled;
    }

    std::vector<double> fill, fillFew, fillAll, fillEmpty, clear, bare, bareQuiet;
    size_t itemsAfterFill = 0;

private:
    // The tree emptied behind the dialog's back, then filled by it again.
    void Reset(HWND tree) {
        ::SendMessageA(tree, TVM_DELETEITEM, 0, reinterpret_cast<LPARAM>(TVI_ROOT));
        RebuildTree();
    }

    void Measure() {
        HWND tree = GetDlgItem(IDC_CATEGORY_TREE);
        std::vector<std::string> texts;
        texts.reserve(kCategoryCount + 3);
        texts.push_back(plugin::kNoCategoryText);
        texts.push_back(plugin::kHomeText);
        texts.push_back(plugin::kPrivateLinksText);
        for (int i = 0; i < kCategoryCount; ++i) texts.push_back("Category " + std::to_string(i));

        const std::vector<std::string> listed = client_.categoryLines;
        std::vector<std::string> fewChanged = listed;
        fewChanged[kCategoryCount / 2] = "1 Renamed category";
        fewChanged.insert(fewChanged.begin() + kCategoryCount / 2, "99999 Added category");
        std::vector<std::string> allChanged;
        for (int i = 0; i < kCategoryCount; ++i) {
            allChanged.push_back(std::to_string(i + 1) + " Topic " + std::to_string(i));
        }
        for (int round = 0; round < kRounds; ++round) {
            // Refreshes as the user meets them: the same list, a few lines changed, all new.
            fill.push_back(Time([&] { RebuildTree(); }));
            UpdateWindow(m_hWnd);
            itemsAfterFill = static_cast<size_t>(::SendMessageA(tree, TVM_GETCOUNT, 0, 0));
            client_.categoryLines = fewChanged;
            fillFew.push_back(Time([&] { RebuildTree(); }));
            client_.categoryLines = allChanged;
            fillAll.push_back(Time([&] { RebuildTree(); }));
            client_.categoryLines = listed;
            Reset(tree);
            UpdateWindow(m_hWnd);
            // As a dialog opens: the tree empty before the fill.
            ::SendMessageA(tree, TVM_DELETEITEM, 0, reinterpret_cast<LPARAM>(TVI_ROOT));
            fillEmpty.push_back(Time([&] { RebuildTree(); }));
            UpdateWindow(m_hWnd);

            clear.push_back(Time([&] {
                ::SendMessageA(tree, TVM_DELETEITEM, 0, reinterpret_cast<LPARAM>(TVI_ROOT));
            }));
            bare.push_back(Time([&] { InsertAll(tree, texts); }));
            UpdateWindow(m_hWnd);

            ::SendMessageA(tree, TVM_DELETEITEM, 0, reinterpret_cast<LPARAM>(TVI_ROOT));
            bareQuiet.push_back(Time([&] {
                ::SendMessageA(tree, WM_SETREDRAW, FALSE, 0);
                InsertAll(tree, texts);
                ::SendMessageA(tree, WM_SETREDRAW, TRUE, 0);
            }));
            InvalidateRect(tree, nullptr, TRUE);
            UpdateWindow(m_hWnd);
            Reset(tree);
        }
    }

    static void InsertAll(HWND tree, const std::vector<std::string>& texts) {
        for (const std::string& text : texts) {
            TVINSERTSTRUCTA insert = {};
            insert.hParent = TVI_ROOT;
            insert.hInsertAfter = TVI_LAST;
            insert.item.mask = TVIF_TEXT | TVIF_IMAGE | TVIF_SELECTEDIMAGE;
            insert.item.pszText = const_cast<char*>(text.c_str());
            insert.item.iImage = 1;
            insert.item.iSelectedImage = 1;
            ::SendMessageA(tree, TVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&insert));
        }
    }

    plugin::CTavrello& client_;
};

}  // namespace

int main() {
    // The plug-in's module registers the tree's class when loaded; no module is here.
    plugin::RegisterTreeViewClass();
    plugin::CTavrello client(std::make_unique<plugin::PluginClientUi>());
    for (int i = 0; i < kCategoryCount; ++i) {
        client.categoryLines.push_back(std::to_string(i + 1) + " Category " + std::to_string(i));
    }
    // The tree on screen, as a user who opened it before sees it.
    plugin::CAddFavoriteDlg::treeExpanded = true;
    MeasuredDialog dialog(client);
    if (dialog.DoModal(nullptr) != IDCANCEL || dialog.fill.empty()) {
        std::printf("the dialog did not run\n");
        return 1;
    }
    const double fill = Median(dialog.fill);
    const double bare = Median(dialog.bare);
    const double bareQuiet = Median(dialog.bareQuiet);
    std::printf("tree fill with %d category lines (median of %d rounds, %zu items):\n",
                kCategoryCount, kRounds, dialog.itemsAfterFill);
    std::printf("  RebuildTree, the list unchanged:      %8.1f ms\n", fill);
    std::printf("  RebuildTree, one renamed, one added:  %8.1f ms\n", Median(dialog.fillFew));
    std::printf("  RebuildTree, every line changed:      %8.1f ms\n", Median(dialog.fillAll));
    std::printf("  RebuildTree into the empty tree:      %8.1f ms\n", Median(dialog.fillEmpty));
    std::printf("  emptying the filled tree:             %8.1f ms\n", Median(dialog.clear));
    std::printf("  bare TVM_INSERTITEM x %d:          %8.1f ms\n", kCategoryCount + 3, bare);
    std::printf("  bare inserts, redrawing suspended:    %8.1f ms\n", bareQuiet);
    std::printf(
        "  ratios to bare inserts, quiet: unchanged %.2f, one renamed and one added "
        "%.2f, every line "
        "changed %.2f, into the empty tree %.2f\n",
        fill / bareQuiet, Median(dialog.fillFew) / bareQuiet, Median(dialog.fillAll) / bareQuiet,
        Median(dialog.fillEmpty) / bareQuiet);
    return 0;
}
