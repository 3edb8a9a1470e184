// The service half of CTavrello: the three requests, the category cache and the messages.
#include "plugin/client/tavrello.h"

#include <utility>

#include "common/settings.h"
#include "plugin/client/form_body.h"
#include "plugin/client/reply_grammar.h"

namespace plugin {

namespace {

// Written only by the constructor and the destructor of the one client.
CTavrello* currentClient = nullptr;

// Added to the Retry question when the service answered the add, however unusably: it may
// have stored the page before the answer went wrong.
constexpr char kMayBeStored[] = "\n\nThe page may already be stored, so Retry may store it twice.";

// The reply without one final LF or CR LF, which ends the line and is no part of its text.
std::string WithoutLineEnd(const std::string& reply) {
    std::string line = reply;
    if (!line.empty() && line.back() == '\n') {
        line.pop_back();
        if (!line.empty() && line.back() == '\r') line.pop_back();
    }
    return line;
}

}  // namespace

CTavrello::CTavrello(std::unique_ptr<ClientUi> ui) : ui_(std::move(ui)) {
    currentClient = this;
    LoadSettings();
}

CTavrello::~CTavrello() {
    if (currentClient == this) currentClient = nullptr;
}

CTavrello* CTavrello::Current() {
    return currentClient;
}

void CTavrello::LoadSettings() {
    // An account typed in this process that the settings key refused comes first.
    common::Account account = common::ReadAccount();
    email = std::move(account.email);
    password = std::move(account.password);
    baseUrl = common::ReadBaseUrl();
}

int CTavrello::PostTo(const char* path, const std::string& body, std::string& reply) {
    return PostForm((baseUrl + path).c_str(), body.c_str(), reply);
}

int CTavrello::FetchCategories() {
    if (!categoryLines.empty()) return 1;
    for (;;) {
        while (email.empty()) {
            if (!EditOptions()) return 0;
        }
        std::string reply;
        if (!PostTo(kCategoryListPath, CategoryListBody(email, password), reply)) {
            // After a failed send this is lastError; otherwise it says what else went wrong.
            if (lastFailure != failureShown_) ui_->ShowMessage(lastFailure, kErrorCaption);
            return 0;
        }
        CategoryReply parsed = ParseCategoryReply(reply);
        if (parsed.Succeeded()) {
            if (parsed.notice) {
                ui_->ShowMessage(parsed.status.message, kServiceCaption);
                if (!parsed.noticePage.empty()) ui_->OpenInBrowser(parsed.noticePage);
                if (parsed.stop) return 0;
            }
            categoryLines = std::move(parsed.lines);
            return 1;
        }
        ui_->ShowMessage(parsed.status.message, kRefusedCaption);
        if (!parsed.Refused()) return 0;
        // Refused credentials: ask for new ones. The stored settings stay as they are.
        email.clear();
        password.clear();
    }
}

void CTavrello::AddPage(const std::string& title, const std::string& url) {
    if (!FetchCategories()) return;
    AddFavoriteChoice choice;
    choice.description = title;
    choice.pageUrl = url;
    if (!ui_->RunAddFavoriteDialog(*this, choice)) return;
    const std::string body =
        AddPageBody(email, password, choice.description, choice.pageUrl, choice.selectedId);
    for (;;) {
        std::string reply;
        if (PostTo(kAddPath, body, reply)) {
            if (reply != kAddedReply) {
                ui_->ShowMessage(reply, kServiceCaption);
            }
            return;
        }
        // The user's choice would be lost silently otherwise: offer to send it again.
        const std::string question = lastAnswered ? lastFailure + kMayBeStored : lastFailure;
        if (!ui_->AskRetry(question, kErrorCaption)) return;
    }
}

void CTavrello::CreateCategory(const std::string& name) {
    std::string reply;
    if (PostTo(kAddPath, AddPageBody(email, password, name, "-", 0), reply)) {
        if (reply != kAddedReply) {
            ui_->ShowMessage(reply, kServiceCaption);
            return;
        }
        RefreshCategories();
        return;
    }
    // The category may be missing whatever the refresh finds. A refresh that meets the same
    // failure does not say it a second time.
    ui_->ShowMessage(lastFailure, kErrorCaption);
    failureShown_ = lastFailure;
    RefreshCategories();
    failureShown_.clear();
}

int CTavrello::EditOptions() {
    if (!ui_->RunOptionsDialog()) return 0;
    ReloadSettings();
    return 1;
}

void CTavrello::ReloadSettings() {
    categoryLines.clear();
    LoadSettings();
}

int CTavrello::RefreshCategories() {
    categoryLines.clear();
    return FetchCategories();
}

void CTavrello::OpenWebPage() {
    std::string reply;
    if (!PostTo(kWebPagePath, WebPageBody(email, password), reply)) {
        ui_->ShowMessage(lastFailure, kErrorCaption);
        return;
    }
    const std::string address = WithoutLineEnd(reply);
    if (address.compare(0, baseUrl.size(), baseUrl) == 0) {
        ui_->OpenInBrowser(address);
    } else {
        ui_->ShowMessage(reply, kServiceCaption);
    }
}

void CTavrello::OpenHelp() {
    ui_->OpenInBrowser(baseUrl + kHelpPath);
}

std::vector<std::string>& CTavrello::CopyCategories(std::vector<std::string>& lines) {
    lines = categoryLines;
    return lines;
}

}  // namespace plugin
