// The sandboxed HKEY_CURRENT_USER made read-only or unreadable: its "Software" key, through
// which every setting and the Run key are reached, gets an access list that grants everyone
// only the given rights. (A redirect to a key handle opened read-only is not enough: keys
// opened below such a handle get the access they ask for.)
#pragma once

#include <windows.h>
#include <sddl.h>

#include "tests/support/registry_sandbox.h"

namespace faults_testing {

class RestrictedCurrentUser {
public:
    // accessList in SDDL form, e.g. "D:P(A;;KR;;;WD)" for read-only or "D:P" for no access.
    RestrictedCurrentUser(testing_support::RegistrySandbox& sandbox, const char* accessList) {
        if (RegCreateKeyExA(sandbox.Scratch(), "Software", 0, nullptr, 0,
                            KEY_ALL_ACCESS | WRITE_DAC, nullptr, &software_,
                            nullptr) != ERROR_SUCCESS) {
            software_ = nullptr;
            return;
        }
        restricted_ = Apply(accessList);
    }
    ~RestrictedCurrentUser() {
        if (software_) {
            Apply("D:P(A;;KA;;;WD)");
            RegCloseKey(software_);
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
            RegSetKeySecurity(software_, DACL_SECURITY_INFORMATION, descriptor) == ERROR_SUCCESS;
        LocalFree(descriptor);
        return applied;
    }

    HKEY software_ = nullptr;
    bool restricted_ = false;
};

constexpr char kReadOnly[] = "D:P(A;;KR;;;WD)";
constexpr char kNoAccess[] = "D:P";

}  // namespace faults_testing
