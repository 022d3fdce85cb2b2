// The branded copy as Windows itself reads it: the resource functions find what the toolbar looks
// for, the version functions give the toolbar's name, and the copy loads (relocated, beside the
// original) with the original's exports.
#include <windows.h>

#include <gtest/gtest.h>

#include "base/file.hpp"
#include "storage/embedded_copy.hpp"
#include "tests/tools/tool_run.hpp"

namespace tb::tool {
namespace {

const std::string kSource = std::string(TB_SOURCE_DIR) + "/samples/sample-bar/sample-bar.json";

std::string ResourceBytes(HMODULE module, const wchar_t* name) {
    HRSRC info = FindResourceW(module, name, MAKEINTRESOURCEW(10));
    if (info == nullptr) return "(none)";
    const void* bytes = LockResource(LoadResource(module, info));
    return std::string(static_cast<const char*>(bytes), SizeofResource(module, info));
}

std::wstring VersionValue(const std::string& file, const wchar_t* name) {
    const std::wstring wide(file.begin(), file.end());
    DWORD handle = 0;
    const DWORD size = GetFileVersionInfoSizeW(wide.c_str(), &handle);
    if (size == 0) return L"(no version)";
    std::string buffer(size, '\0');
    if (!GetFileVersionInfoW(wide.c_str(), 0, size, buffer.data())) return L"(unreadable)";
    void* value = nullptr;
    UINT length = 0;
    const std::wstring block = std::wstring(L"\\StringFileInfo\\040904b0\\") + name;
    if (!VerQueryValueW(buffer.data(), block.c_str(), &value, &length)) return L"(none)";
    return static_cast<const wchar_t*>(value);
}

TEST(BrandWinTest, WindowsReadsTheBrandedCopyBack) {
    const std::string library = TB_TOOLBAR_LIBRARIES;
    const std::string files = Scratch("brand_win", "files");
    ASSERT_EQ(Tool({"build", kSource, files}).status, 0);
    const std::string out = Scratch("brand_win", "SampleBar.dll");
    const std::string key = Scratch("brand_win", "publisher.pub");
    WriteWholeFile(key, "\x04" + std::string(64, 'k'));
    const ToolRun run = Tool({"brand", library, kSource, "--out", out, "--key", key});
    ASSERT_EQ(run.status, 0) << run.err;

    EXPECT_EQ(VersionValue(out, L"ProductName"), L"Sample Bar");
    EXPECT_EQ(VersionValue(out, L"FileDescription"), L"Sample Bar");
    EXPECT_EQ(VersionValue(out, L"CompanyName"), VersionValue(library, L"CompanyName"));
    EXPECT_EQ(VersionValue(out, L"FileVersion"), VersionValue(library, L"FileVersion"));

    // Loaded for real next to the original: both want the same base address, so the copy is moved
    // and its relocations (which the branding moved in the file) must be right.
    HMODULE original = LoadLibraryA(library.c_str());
    ASSERT_NE(original, nullptr) << GetLastError();
    HMODULE copy = LoadLibraryA(out.c_str());
    ASSERT_NE(copy, nullptr) << GetLastError();
    EXPECT_NE(copy, original);
    std::string carried;
    ASSERT_TRUE(DecodeInternalFile(ResourceBytes(copy, L"TBTEMPLATE"), carried));
    EXPECT_EQ(carried, *ReadWholeFile(files + "/SampleBar.tb"));
    ASSERT_TRUE(DecodeInternalFile(ResourceBytes(copy, L"TBICONS"), carried));
    EXPECT_EQ(carried, *ReadWholeFile(files + "/Icons.bin"));
    EXPECT_EQ(ResourceBytes(copy, L"TBPUBKEY"), "\x04" + std::string(64, 'k'));
    EXPECT_EQ(ResourceBytes(original, L"TBTEMPLATE"), "(none)");
    for (const char* name : {"DllGetClassObject", "DllCanUnloadNow", "DllRegisterServer", "DllUnregisterServer"}) {
        EXPECT_EQ(GetProcAddress(copy, name) != nullptr, GetProcAddress(original, name) != nullptr) << name;
    }
    FreeLibrary(copy);
    FreeLibrary(original);
}

}  // namespace
}  // namespace tb::tool
