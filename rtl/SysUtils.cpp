#include "SysUtils.h"

#include "WinApi.h"



static std::string ToUtf8(const std::wstring& s) {
    if (s.empty()) return {};
    int n = WideCharToMultiByte(CP_UTF8, 0, s.data(), (int)s.size(), nullptr, 0, nullptr, nullptr);
    std::string out(n, '\0');
    WideCharToMultiByte(CP_UTF8, 0, s.data(), (int)s.size(), out.data(), n, nullptr, nullptr);
    return out;
}

Exception::Exception(std::wstring message, const wchar_t* className)
    : FMessage(std::move(message)), FWhat(ToUtf8(FMessage)), FClassName(className) {}

void Exception::SetMessage(std::wstring message) {
    FMessage = std::move(message);
    FWhat = ToUtf8(FMessage);
}


