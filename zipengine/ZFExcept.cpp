#include "ZFExcept.h"

#include <vector>

#include "Classes.h"
#include "ZFConst.h"

std::wstring ZFErrorText(int32_t nativeError, const std::wstring& archiverName,
                         std::initializer_list<TFormatArg> args) {
    std::wstring text = ZFMessages[ZFMessageNumberOf(nativeError)];
    if (args.size() > 0) {
        const std::vector<TFormatArg> list(args);
        text = FormatArgs(text, list.data(), list.size());
    }
    if (!archiverName.empty()) text = Format(L"%s: %s", archiverName, text);
    std::wstring code = Format(L"%5d", nativeError);
    for (wchar_t& c : code)
        if (c == L' ') c = L'0';
    return text + L" - Native error: " + code;
}

EZFException::EZFException(int32_t nativeError, const TComponent* archiver)
    : EZFException(nativeError, archiver, {}) {}

EZFException::EZFException(int32_t nativeError, const TComponent* archiver,
                           std::initializer_list<TFormatArg> args)
    : Exception(ZFErrorText(nativeError, archiver ? archiver->GetName() : std::wstring(), args),
                L"EZFException"),
      ErrorCode(ZFMessageNumberOf(nativeError)),
      NativeError(nativeError) {}
