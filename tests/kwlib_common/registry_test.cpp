// TKWRegistry: one string value written, one key tree deleted, under the chosen root.
#include <gtest/gtest.h>

#include "KWRegistry.h"
#include "WinApi.h"

#include <shlwapi.h>

namespace {

const wchar_t* const TestKey = L"SOFTWARE\\KWRegistryTest";

class KWRegistryTest : public ::testing::Test {
protected:
    void SetUp() override { SHDeleteKeyW(HKEY_LOCAL_MACHINE, TestKey); }
    void TearDown() override {
        SHDeleteKeyW(HKEY_LOCAL_MACHINE, TestKey);
        SHDeleteKeyW(HKEY_CURRENT_USER, TestKey);
    }

    static bool KeyExists(HKEY ARoot, const std::wstring& AKey) {
        HKEY h = nullptr;
        if (RegOpenKeyExW(ARoot, AKey.c_str(), 0, KEY_READ, &h) != ERROR_SUCCESS) return false;
        RegCloseKey(h);
        return true;
    }
    static std::wstring ReadValue(HKEY ARoot, const std::wstring& AKey, const std::wstring& AName,
                                  DWORD* AType = nullptr) {
        wchar_t buf[256] = {};
        DWORD size = sizeof(buf), type = 0;
        if (RegGetValueW(ARoot, AKey.c_str(), AName.c_str(), RRF_RT_ANY, &type, buf, &size) != ERROR_SUCCESS)
            return L"<missing>";
        if (AType) *AType = type;
        return buf;
    }
};

}  // namespace

TEST_F(KWRegistryTest, WriteStringCreatesTheWholePathUnderLocalMachine) {
    TKWRegistry reg(nullptr);
    EXPECT_EQ(reg.RootKey, HKEY_LOCAL_MACHINE);
    const std::wstring key = std::wstring(TestKey) + L"\\Uninstall\\lumi-vera Quillbox 写真館";
    // The uninstall key is written with a leading "\"; it is taken from the root all the same.
    ASSERT_TRUE(reg.WriteString(L"\\" + key, L"DisplayName", L"写真館 Quillbox"));
    ASSERT_TRUE(reg.WriteString(key, L"UninstallString", L"\"C:\\x\\!uninstaller.exe\" /uninstall"));
    DWORD type = 0;
    EXPECT_EQ(ReadValue(HKEY_LOCAL_MACHINE, key, L"DisplayName", &type), L"写真館 Quillbox");
    EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(ReadValue(HKEY_LOCAL_MACHINE, key, L"UninstallString"), L"\"C:\\x\\!uninstaller.exe\" /uninstall");
    // Writing again replaces the value; an empty value is a value.
    ASSERT_TRUE(reg.WriteString(key, L"DisplayName", L""));
    EXPECT_EQ(ReadValue(HKEY_LOCAL_MACHINE, key, L"DisplayName"), L"");
}

TEST_F(KWRegistryTest, DeleteKeyRemovesTheWholeTreeAndOnlyIt) {
    TKWRegistry reg(nullptr);
    const std::wstring base = TestKey;
    ASSERT_TRUE(reg.WriteString(base + L"\\Keep", L"v", L"1"));
    ASSERT_TRUE(reg.WriteString(base + L"\\Gone", L"v", L"1"));
    ASSERT_TRUE(reg.WriteString(base + L"\\Gone\\Sub\\Deeper", L"v", L"2"));
    ASSERT_TRUE(reg.WriteString(base + L"\\Gone\\Other", L"w", L"3"));

    EXPECT_TRUE(reg.DeleteKey(L"\\" + base + L"\\Gone"));
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, base + L"\\Gone"));
    EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, base + L"\\Keep"));

    // A key that does not exist: False, nothing changes.
    EXPECT_FALSE(reg.DeleteKey(base + L"\\Gone"));
    EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, base + L"\\Keep"));
    // An empty key, or "\" alone, would name the root: refused.
    EXPECT_FALSE(reg.DeleteKey(L""));
    EXPECT_FALSE(reg.DeleteKey(L"\\"));
    EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, L"SOFTWARE"));
}

TEST_F(KWRegistryTest, RootKeyChoosesTheHive) {
    TKWRegistry reg(nullptr);
    reg.RootKey = HKEY_CURRENT_USER;
    ASSERT_TRUE(reg.WriteString(std::wstring(TestKey) + L"\\A", L"n", L"user"));
    EXPECT_EQ(ReadValue(HKEY_CURRENT_USER, std::wstring(TestKey) + L"\\A", L"n"), L"user");
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, TestKey));
    EXPECT_TRUE(reg.DeleteKey(TestKey));
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, TestKey));
}

TEST_F(KWRegistryTest, WriteStringFailsWhenTheKeyCannotBeOpened) {
    TKWRegistry reg(nullptr);
    // A root handle that names no hive: the key cannot be opened.
    reg.RootKey = reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(0x800000FF));
    EXPECT_FALSE(reg.WriteString(L"X", L"n", L"v"));
}
