// Registration of the type library that the test executable carries as TYPELIB 1, into a
// sandboxed HKEY_CLASSES_ROOT.
#include "framework/com/type_library.h"

#include <gtest/gtest.h>

#include <string>

#include "fwcom_probe.h"
#include "tests/support/registry_sandbox.h"

using testing_support::KeyExists;
using testing_support::ReadText;
using testing_support::RegistrySandbox;

namespace {

constexpr char kLibId[] = "{7D5B88BF-DEAD-4503-A405-18FAC149E25E}";
constexpr char kInterfaceId[] = "{9D19351F-D8E1-48AE-9EF5-9EC728A0D5E3}";

std::string TypeLibKey() {
    return std::string("TypeLib\\") + kLibId;
}
std::string InterfaceKey() {
    return std::string("Interface\\") + kInterfaceId;
}

std::string ExecutablePath() {
    char path[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    return path;
}

class TypeLibraryTest : public ::testing::Test {
protected:
    RegistrySandbox classesRoot_{HKEY_CLASSES_ROOT};
};

TEST_F(TypeLibraryTest, RegisterWritesTheLibraryAndItsAutomationInterface) {
    ASSERT_EQ(framework::RegisterModuleTypeLibrary(GetModuleHandleA(nullptr)), S_OK);

    const std::string version = TypeLibKey() + "\\1.0";
    EXPECT_EQ(ReadText(HKEY_CLASSES_ROOT, version, ""), "FrameworkProbe 1.0 Type Library");
    // The library's own locale names the path key; the path is the module file itself.
    EXPECT_EQ(ReadText(HKEY_CLASSES_ROOT,
                       version + "\\409\\" + testing_support::kTypeLibraryPlatform, ""),
              ExecutablePath());
    EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, version + "\\FLAGS"));

    // The dual interface is registered for marshalling through its library.
    EXPECT_EQ(ReadText(HKEY_CLASSES_ROOT, InterfaceKey(), ""), "IFrameworkProbe");
    EXPECT_EQ(ReadText(HKEY_CLASSES_ROOT, InterfaceKey() + "\\TypeLib", ""), kLibId);

    // Once registered, the platform finds the library by its identity.
    ITypeLib* library = nullptr;
    ASSERT_EQ(LoadRegTypeLib(LIBID_FrameworkProbeLib, 1, 0, 0x409, &library), S_OK);
    ITypeInfo* info = nullptr;
    EXPECT_EQ(library->GetTypeInfoOfGuid(IID_IFrameworkProbe, &info), S_OK);
    if (info) info->Release();
    library->Release();
}

TEST_F(TypeLibraryTest, UnregisterRemovesTheLibraryAndLeavesOtherLibraries) {
    const HMODULE module = GetModuleHandleA(nullptr);
    testing_support::SetRawValue(HKEY_CLASSES_ROOT, "TypeLib\\{Other}\\1.0", "", REG_SZ,
                                 std::string("Other", 6));
    ASSERT_EQ(framework::RegisterModuleTypeLibrary(module), S_OK);
    ASSERT_TRUE(KeyExists(HKEY_CLASSES_ROOT, TypeLibKey()));

    ASSERT_EQ(framework::UnregisterModuleTypeLibrary(module), S_OK);
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, TypeLibKey()));
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, InterfaceKey()));
    EXPECT_EQ(ReadText(HKEY_CLASSES_ROOT, "TypeLib\\{Other}\\1.0", ""), "Other");
}

TEST_F(TypeLibraryTest, ModuleWithoutTypeLibraryFailsAndWritesNothing) {
    const HMODULE withoutLibrary = GetModuleHandleA("kernel32.dll");
    ASSERT_NE(withoutLibrary, nullptr);
    EXPECT_TRUE(FAILED(framework::RegisterModuleTypeLibrary(withoutLibrary)));
    EXPECT_TRUE(FAILED(framework::UnregisterModuleTypeLibrary(withoutLibrary)));
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, "TypeLib"));
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, "Interface"));
}

}  // namespace
