// The in-house library's one error type: besides its message it carries the signature text of the
// raising method and the methods and messages of the chain of exceptions it replaces. Every
// construction is logged at level 3.
#pragma once
#include <cstddef>
#include <string>
#include <vector>

#include "SysUtils.h"

class TObject;

// What an in-house exception replaces: an exception, any other object, or nothing.
class TKWPrevious {
public:
    TKWPrevious(std::nullptr_t = nullptr) {}
    TKWPrevious(const std::exception* AException) : FException(AException) {}
    TKWPrevious(const TObject* AObject) : FObject(AObject) {}
    const std::exception* AsException() const { return FException; }
    const TObject* AsObject() const { return FObject; }

private:
    const std::exception* FException = nullptr;
    const TObject* FObject = nullptr;
};

class EKWException : public Exception {
public:
    // APrevious: the exception being replaced (or nullptr). Raisers pass the message, their
    // signature text and, when they translate a caught exception, that exception.
    EKWException(const std::wstring& AMessage, const std::wstring& AMethod, TKWPrevious APrevious = nullptr)
        : EKWException(AMessage, AMethod, APrevious, L"EKWException") {}

    const std::wstring& Method() const { return FMethod; }
    const std::vector<std::wstring>& Methods() const { return FMethods; }
    const std::vector<std::wstring>& Messages() const { return FMessages; }

protected:
    // For descendants: AClassName is the name the exception is logged under.
    EKWException(const std::wstring& AMessage, const std::wstring& AMethod, TKWPrevious APrevious,
                 const wchar_t* AClassName);

private:
    std::wstring FMethod;
    std::vector<std::wstring> FMethods;
    std::vector<std::wstring> FMessages;
};

// Declares a descendant of an in-house exception that is logged under its own name and lets its own
// descendants pass theirs.
#define KW_DECLARE_KWEXCEPTION(Name, Base)                                                          \
    class Name : public Base {                                                                      \
    public:                                                                                         \
        Name(const std::wstring& AMessage, const std::wstring& AMethod,                             \
             TKWPrevious APrevious = nullptr)                                                       \
            : Base(AMessage, AMethod, APrevious, L## #Name) {}                                      \
                                                                                                    \
    protected:                                                                                      \
        Name(const std::wstring& AMessage, const std::wstring& AMethod, TKWPrevious APrevious,      \
             const wchar_t* AClassName)                                                             \
            : Base(AMessage, AMethod, APrevious, AClassName) {}                                     \
    }
