// The general exception class and the system utilities that the rest of the code takes for granted.
#pragma once
#include <exception>
#include <string>



// Base of every exception this code raises: a UTF-16 message, and the class name for logging
// (C++ base constructors cannot see the derived class, so each class passes its own name).
class Exception : public std::exception {
public:
    explicit Exception(std::wstring message, const wchar_t* className = L"Exception");
    ~Exception() override = default;

    const std::wstring& Message() const noexcept { return FMessage; }
    void SetMessage(std::wstring message);
    const wchar_t* ClassName() const noexcept { return FClassName; }
    // The message in UTF-8, for std::exception users (test output, terminate handlers).
    const char* what() const noexcept override { return FWhat.c_str(); }

private:
    std::wstring FMessage;
    std::string FWhat;
    const wchar_t* FClassName;
};


