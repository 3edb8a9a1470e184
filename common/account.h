// The user's account with the service: the e-mail address and password that both options
// dialogs edit and the plug-in's service client sends.
#pragma once

#include <string>

namespace settings {

struct Account {
    std::string email;
    std::string password;
};

// The account this process uses: the one last typed into an options dialog when the settings
// key refused to store it, otherwise the stored one (an unreadable value reads as empty).
Account ReadAccount();

// Stores both values in the settings key. When the key refuses either (the browser's protected
// mode makes it read-only to the plug-in), this process keeps the account for the rest of its
// life, so that what the user typed is not lost, and false is returned. A store that succeeds
// ends the keeping.
bool StoreAccount(const Account& account);

}  // namespace settings
