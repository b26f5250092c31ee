// The ZIP engine's exception: an engine code (where and why the engine failed) that selects one of
// the engine's message texts, composed with the archiver's name and the code itself.
#pragma once
#include <cstdint>
#include <initializer_list>
#include <string>

#include "SysUtils.h"
#include "ZFConst.h"

class TComponent;

class EZFException : public Exception {
public:
    // The message of the engine code, with "Name: " in front when the archiver is given and has a
    // name, and " - Native error: " and the code in five digits behind.
    explicit EZFException(int32_t nativeError, const TComponent* archiver = nullptr);
    // As above, with the message formatted with the arguments first (file names, counts).
    EZFException(int32_t nativeError, const TComponent* archiver, std::initializer_list<TFormatArg> args);

    int32_t ErrorCode;     // message number, 0..40
    int32_t NativeError;   // engine code, 0..67
};

// The final text of an engine error (what EZFException carries as its message).
std::wstring ZFErrorText(int32_t nativeError, const std::wstring& archiverName,
                         std::initializer_list<TFormatArg> args = {});
