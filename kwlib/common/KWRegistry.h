// TKWRegistry: writes one string value or deletes one key tree in a single call, under a chosen
// root key. The installer writes and removes its uninstall entry with it.
#pragma once
#include <string>

#include "Classes.h"
#include "WinApi.h"

// A registry value that could not be written.
KW_DECLARE_EXCEPTION(ERegistryException, Exception);

class TKWRegistry : public TComponent {
public:
    KW_CLASS_NAME(TKWRegistry)
    explicit TKWRegistry(TComponent* AOwner);

    // Opens AKey under RootKey, creating it and any missing parents, and writes AValue as the
    // REG_SZ value AName. False when the key could not be opened; a value that cannot be written
    // raises ERegistryException.
    bool WriteString(const std::wstring& AKey, const std::wstring& AName, const std::wstring& AValue);
    // Deletes AKey under RootKey with all its sub-keys and values; false for an empty key and when
    // the key could not be deleted (a key that does not exist among them).
    bool DeleteKey(const std::wstring& AKey);

    // The predefined root key; HKEY_LOCAL_MACHINE after construction. A key path may start with
    // "\"; it is always taken from this root.
    HKEY RootKey = HKEY_LOCAL_MACHINE;
};
