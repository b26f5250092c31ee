#include "KWRegistry.h"

#include <shlwapi.h>

namespace {

// Key paths are relative to the root whether or not they start with "\".
std::wstring RelativeKey(const std::wstring& AKey) {
    size_t start = 0;
    while (start < AKey.size() && AKey[start] == L'\\') ++start;
    return AKey.substr(start);
}

}  // namespace

TKWRegistry::TKWRegistry(TComponent* AOwner) : TComponent(AOwner) {}

bool TKWRegistry::WriteString(const std::wstring& AKey, const std::wstring& AName, const std::wstring& AValue) {
    HKEY key = nullptr;
    if (RegCreateKeyExW(RootKey, RelativeKey(AKey).c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS,
                        nullptr, &key, nullptr) != ERROR_SUCCESS)
        return false;
    const LONG r = RegSetValueExW(key, AName.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(AValue.c_str()),
                                  static_cast<DWORD>((AValue.size() + 1) * sizeof(wchar_t)));
    RegCloseKey(key);
    if (r != ERROR_SUCCESS) throw ERegistryException(Format(L"Failed to set data for '%s'", AName));
    return true;
}

bool TKWRegistry::DeleteKey(const std::wstring& AKey) {
    // "\" alone would name the root itself.
    const std::wstring key = RelativeKey(AKey);
    if (key.empty()) return false;
    return SHDeleteKeyW(RootKey, key.c_str()) == ERROR_SUCCESS;
}
