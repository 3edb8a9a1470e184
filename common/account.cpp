#include "common/account.h"

#include <optional>

#include "common/settings.h"

namespace settings {

namespace {

// Read and written only by the options dialogs and the service client, which run one command
// or one dialog at a time per process.
std::optional<Account> unsavedAccount;

}  // namespace

Account ReadAccount() {
    if (unsavedAccount) return *unsavedAccount;
    return {
        ReadRegistryText(HKEY_CURRENT_USER, kSettingsPath, kEmailValue, "", kAccountReadSize),
        ReadRegistryText(HKEY_CURRENT_USER, kSettingsPath, kPasswordValue, "", kAccountReadSize)};
}

bool StoreAccount(const Account& account) {
    // Both writes are tried, so that a key refusing one value still gets the other.
    const bool emailStored =
        StoreRegistryText(HKEY_CURRENT_USER, kSettingsPath, kEmailValue, account.email);
    const bool passwordStored =
        StoreRegistryText(HKEY_CURRENT_USER, kSettingsPath, kPasswordValue, account.password);
    if (emailStored && passwordStored) {
        unsavedAccount.reset();
        return true;
    }
    unsavedAccount = account;
    return false;
}

}  // namespace settings
