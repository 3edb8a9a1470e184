#include "tools/service/demo_account.h"

#include "tools/service/credentials.h"

namespace service {

bool EnsureDemoAccount(Store& store) {
    const auto existing = store.FindAccount(kDemoEmail);
    if (!existing.ok()) return false;
    if (existing.value) return true;
    const std::string hash = HashPassword(kDemoPassword);
    int64_t account = 0;
    if (hash.empty()) return false;
    const StoreResult created = store.CreateAccount(kDemoEmail, hash, &account);
    // Another process may have created it between the look-up and here.
    if (created == StoreResult::kDuplicate) return true;
    if (created != StoreResult::kDone) return false;
    int64_t news = 0;
    int64_t reference = 0;
    store.AddCategory(account, "News", &news);
    store.AddCategory(account, "Reference", &reference);
    store.AddFavorite(account, kHomeId, "Example home page", "https://example.com/");
    store.AddFavorite(account, news, "Example news", "https://example.org/news/");
    store.AddFavorite(account, reference, "Example reference", "https://example.net/reference/");
    return true;
}

}  // namespace service
