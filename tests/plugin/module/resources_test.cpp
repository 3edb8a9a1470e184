// What Corvane.dll carries besides its code: exactly its five exports, the version block, the
// icons, the dialog templates in both languages and the type library.
#include <gtest/gtest.h>

#include <windows.h>
#include <oleauto.h>

#include <map>
#include <set>
#include <string>
#include <vector>

#include "Corvane.h"
#include "framework/com/com_ptr.h"
#include "resources/plugin/resource.h"
#include "resources/version.h"
#include "tests/plugin/module/corvane_fixture.h"
#include "tests/support/version_block.h"
#include "tests/tools/icons/icon_probe.h"

namespace {

using module_testing::CorvaneLibrary;

std::set<std::string> ExportNames(HMODULE module) {
    const auto* base = reinterpret_cast<const BYTE*>(module);
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    const IMAGE_DATA_DIRECTORY& directory =
        nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT];
    std::set<std::string> names;
    if (directory.Size == 0) return names;
    const auto* exports =
        reinterpret_cast<const IMAGE_EXPORT_DIRECTORY*>(base + directory.VirtualAddress);
    const auto* nameTable = reinterpret_cast<const DWORD*>(base + exports->AddressOfNames);
    for (DWORD i = 0; i < exports->NumberOfNames; ++i) {
        names.insert(reinterpret_cast<const char*>(base + nameTable[i]));
    }
    EXPECT_EQ(exports->NumberOfFunctions, exports->NumberOfNames) << "no export by number only";
    return names;
}

class CorvaneResources : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(library_.Loaded()); }
    HMODULE Module() const { return library_.Module(); }

    CorvaneLibrary library_;
};

TEST_F(CorvaneResources, ExportsExactlyTheFiveServerFunctionsByName) {
    EXPECT_EQ(ExportNames(Module()),
              (std::set<std::string>{"DllCanUnloadNow", "DllGetClassObject", "DllMain",
                                     "DllRegisterServer", "DllUnregisterServer"}));
}

TEST_F(CorvaneResources, VersionBlockNamesTheDllAndItsMaker) {
    const testing_support::VersionBlock version(module_testing::CorvanePath());
    ASSERT_TRUE(version.Found());
    const VS_FIXEDFILEINFO* fixed = version.Fixed();
    ASSERT_NE(fixed, nullptr);
    EXPECT_EQ(version.FixedFileVersion(), CORVANE_VERSION_TEXT);
    EXPECT_EQ(version.FixedProductVersion(), CORVANE_VERSION_TEXT);
    EXPECT_EQ(fixed->dwFileType, static_cast<DWORD>(VFT_DLL));
    EXPECT_EQ(fixed->dwFileOS, static_cast<DWORD>(VOS__WINDOWS32));

    const std::map<std::string, std::string> expected = {
        {"CompanyName", "Orvek"},
        {"FileDescription", "Tavrello.com Internet Explorer plugin"},
        {"FileVersion", CORVANE_VERSION_TEXT},
        {"InternalName", "Corvane.dll"},
        {"OriginalFilename", "Corvane.dll"},
        {"ProductName", "Tavrello"},
        {"ProductVersion", CORVANE_VERSION_TEXT},
    };
    EXPECT_EQ(version.UsualTexts("040904b0"), expected);
    EXPECT_EQ(version.Text("040904b0", "LegalCopyright"), TAVRELLO_COPYRIGHT);
}

TEST_F(CorvaneResources, IconsHaveTheirNumbersAndSizes) {
    const struct {
        int id;
        std::set<int> sizes;
    } icons[] = {
        {IDI_GLOBE_STAR, {16, 32}}, {IDI_BUTTON, {16, 20, 32}}, {IDI_FOLDER, {16}},
        {IDI_NO_CATEGORY, {16}},    {IDI_HOME, {16}},           {IDI_MENU, {16, 20, 32}},
        {IDI_PRIVATE, {16}},
    };
    for (const auto& icon : icons) {
        const icon_probe::GroupInfo group = icon_probe::ReadGroup(Module(), icon.id);
        ASSERT_TRUE(group.found) << "icon " << icon.id;
        for (int size : icon.sizes) {
            EXPECT_TRUE(group.sizes.count(size)) << "icon " << icon.id << " at " << size;
        }
    }
}

TEST_F(CorvaneResources, DialogsExistInEnglishAndDanish) {
    for (int id : {IDD_OPTIONS, IDD_ADDFAVORITE, IDD_NEW_CATEGORY}) {
        for (LANGID language : {MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US),
                                MAKELANGID(LANG_DANISH, SUBLANG_DEFAULT)}) {
            EXPECT_NE(FindResourceExA(Module(), MAKEINTRESOURCEA(5) /* RT_DIALOG */,
                                      MAKEINTRESOURCEA(id), language),
                      nullptr)
                << "dialog " << id << " language " << std::hex << language;
        }
    }
}

TEST_F(CorvaneResources, RegistrationScriptsAreNumbered101And102) {
    for (int id : {IDR_CORVANE_REGISTRY, IDR_CORVANE_CLASS_REGISTRY}) {
        EXPECT_NE(FindResourceA(Module(), MAKEINTRESOURCEA(id), "REGISTRY"), nullptr) << id;
    }
    EXPECT_EQ(IDR_CORVANE_REGISTRY, 101);
}

std::wstring Documentation(ITypeLib* library, int index) {
    BSTR text = nullptr;
    library->GetDocumentation(index, nullptr, &text, nullptr, nullptr);
    std::wstring result = text ? text : L"";
    SysFreeString(text);
    return result;
}

TEST_F(CorvaneResources, TypeLibraryHoldsTheDualInterfaceAndItsClass) {
    const std::string path = module_testing::CorvanePath();
    const std::wstring widePath(path.begin(), path.end());
    framework::ComPtr<ITypeLib> library;
    ASSERT_EQ(LoadTypeLibEx(widePath.c_str(), REGKIND_NONE, library.Receive()), S_OK);

    TLIBATTR* attributes = nullptr;
    ASSERT_EQ(library->GetLibAttr(&attributes), S_OK);
    EXPECT_TRUE(IsEqualGUID(attributes->guid, LIBID_CorvaneLib));
    EXPECT_EQ(attributes->wMajorVerNum, 1);
    EXPECT_EQ(attributes->wMinorVerNum, 0);
    EXPECT_EQ(attributes->lcid, 0x409u);
    library->ReleaseTLibAttr(attributes);
    EXPECT_EQ(Documentation(library.Get(), -1), L"Corvane 1.0 Type Library");
    EXPECT_EQ(library->GetTypeInfoCount(), 2u);

    framework::ComPtr<ITypeInfo> dispatch;
    ASSERT_EQ(library->GetTypeInfoOfGuid(IID_ITavrelloIE, dispatch.Receive()), S_OK);
    TYPEATTR* type = nullptr;
    ASSERT_EQ(dispatch->GetTypeAttr(&type), S_OK);
    EXPECT_EQ(type->typekind, TKIND_DISPATCH);
    const WORD dispatchFlags = TYPEFLAG_FDUAL | TYPEFLAG_FDISPATCHABLE;
    EXPECT_EQ(type->wTypeFlags & dispatchFlags, dispatchFlags);
    dispatch->ReleaseTypeAttr(type);
    BSTR help = nullptr;
    dispatch->GetDocumentation(MEMBERID_NIL, nullptr, &help, nullptr, nullptr);
    EXPECT_STREQ(help, L"ITavrelloIE Interface");
    SysFreeString(help);

    // The vtable half of the dual interface declares nothing beyond IDispatch.
    HREFTYPE vtableHalf = 0;
    ASSERT_EQ(dispatch->GetRefTypeOfImplType(static_cast<UINT>(-1), &vtableHalf), S_OK);
    framework::ComPtr<ITypeInfo> vtable;
    ASSERT_EQ(dispatch->GetRefTypeInfo(vtableHalf, vtable.Receive()), S_OK);
    ASSERT_EQ(vtable->GetTypeAttr(&type), S_OK);
    EXPECT_EQ(type->typekind, TKIND_INTERFACE);
    const WORD interfaceFlags = TYPEFLAG_FDUAL | TYPEFLAG_FOLEAUTOMATION;
    EXPECT_EQ(type->wTypeFlags & interfaceFlags, interfaceFlags);
    EXPECT_EQ(type->cFuncs, 0);
    EXPECT_EQ(type->cbSizeVft, 7 * sizeof(void*)) << "IUnknown and IDispatch only";
    vtable->ReleaseTypeAttr(type);

    framework::ComPtr<ITypeInfo> coclass;
    ASSERT_EQ(library->GetTypeInfoOfGuid(CLSID_CTavrelloIE, coclass.Receive()), S_OK);
    ASSERT_EQ(coclass->GetTypeAttr(&type), S_OK);
    EXPECT_EQ(type->typekind, TKIND_COCLASS);
    EXPECT_TRUE(type->wTypeFlags & TYPEFLAG_FCANCREATE);
    EXPECT_EQ(type->cImplTypes, 1);
    coclass->ReleaseTypeAttr(type);
    coclass->GetDocumentation(MEMBERID_NIL, nullptr, &help, nullptr, nullptr);
    EXPECT_STREQ(help, L"TavrelloIE Class");
    SysFreeString(help);
    INT implementationFlags = 0;
    ASSERT_EQ(coclass->GetImplTypeFlags(0, &implementationFlags), S_OK);
    EXPECT_TRUE(implementationFlags & IMPLTYPEFLAG_FDEFAULT);
    HREFTYPE implemented = 0;
    ASSERT_EQ(coclass->GetRefTypeOfImplType(0, &implemented), S_OK);
    framework::ComPtr<ITypeInfo> defaultInterface;
    ASSERT_EQ(coclass->GetRefTypeInfo(implemented, defaultInterface.Receive()), S_OK);
    ASSERT_EQ(defaultInterface->GetTypeAttr(&type), S_OK);
    EXPECT_TRUE(IsEqualGUID(type->guid, IID_ITavrelloIE));
    defaultInterface->ReleaseTypeAttr(type);
}

}  // namespace
