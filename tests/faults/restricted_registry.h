// The sandboxed HKEY_CURRENT_USER made read-only or unreadable: its "Software" key, through
// which every setting and the Run key are reached (or another key below it), gets an access
// list that grants everyone only the given rights. (A redirect to a key handle opened read-only is
// not enough: keys opened below such a handle get the access they ask for.)
#pragma once

#include <windows.h>
#include <sddl.h>

#include <string>

#include "tests/support/registry_sandbox.h"
#include "tests/support/simulated_user.h"

namespace faults_testing {

class RestrictedCurrentUser {
public:
    // accessList in SDDL form, e.g. "D:P(A;;KR;;;WD)" for read-only or "D:P" for no access.
    RestrictedCurrentUser(testing_support::RegistrySandbox& sandbox, const char* accessList,
                          const char* keyPath = "Software") {
        if (RegCreateKeyExA(sandbox.Scratch(), keyPath, 0, nullptr, 0, KEY_ALL_ACCESS | WRITE_DAC,
                            nullptr, &key_, nullptr) != ERROR_SUCCESS) {
            key_ = nullptr;
            return;
        }
        restricted_ = Apply(accessList);
    }
    ~RestrictedCurrentUser() {
        if (key_) {
            Apply("D:P(A;;KA;;;WD)");
            RegCloseKey(key_);
        }
    }
    RestrictedCurrentUser(const RestrictedCurrentUser&) = delete;
    RestrictedCurrentUser& operator=(const RestrictedCurrentUser&) = delete;

    bool Active() const { return restricted_; }

private:
    bool Apply(const char* accessList) {
        PSECURITY_DESCRIPTOR descriptor = nullptr;
        if (!ConvertStringSecurityDescriptorToSecurityDescriptorA(accessList, SDDL_REVISION_1,
                                                                  &descriptor, nullptr)) {
            return false;
        }
        const bool applied =
            RegSetKeySecurity(key_, DACL_SECURITY_INFORMATION, descriptor) == ERROR_SUCCESS;
        LocalFree(descriptor);
        return applied;
    }

    HKEY key_ = nullptr;
    bool restricted_ = false;
};

constexpr char kReadOnly[] = "D:P(A;;KR;;;WD)";
constexpr char kNoAccess[] = "D:P";

// The message box's text control, on Windows and in Wine alike.
constexpr int kMessageTextId = 0xFFFF;

// Presses OK on a dialog whose settings cannot all be stored, answers the one message box with
// this caption that says so, and waits until the dialog has closed. Returns the message's text,
// or "(no message)" when none came; owner receives the message's owner window.
inline std::string ConfirmAndReadMessage(dialog_testing::SimulatedUser& user, HWND dialog,
                                         const wchar_t* messageCaption, HWND* owner = nullptr) {
    dialog_testing::SimulatedUser::Click(dialog, IDOK);
    HWND message = user.WaitForDialog(messageCaption);
    if (message == nullptr) return "(no message)";
    if (owner) *owner = GetWindow(message, GW_OWNER);
    const std::string text = dialog_testing::SimulatedUser::Text(message, kMessageTextId);
    user.ClickAndWaitClosed(message, IDOK);
    user.WaitUntilClosed(dialog);
    return text;
}

}  // namespace faults_testing
