#include "KWException.h"

#include "Classes.h"
#include "KWLogger.h"

EKWException::EKWException(const std::wstring& AMessage, const std::wstring& AMethod,
                           TKWPrevious APrevious, const wchar_t* AClassName)
    : Exception(AMessage, AClassName) {
    // Neither the log entry nor the chain may keep the exception from being built.
    try {
        FMethod = AMethod;
        const std::wstring className = AClassName;
        KWLog(AMethod.empty() ? className : className + L"[" + AMethod + L"]", AMessage, 3);
        FMethods.clear();
        FMessages.clear();
        const std::exception* exception = APrevious.AsException();
        if (const TObject* object = APrevious.AsObject()) {
            FMethods.emplace_back();
            FMessages.push_back(object->ClassName());
        } else if (!exception) {
            return;
        } else if (const auto* previous = dynamic_cast<const EKWException*>(exception)) {
            FMethods = previous->FMethods;
            FMessages = previous->FMessages;
            FMethods.push_back(previous->FMethod);
            FMessages.push_back(previous->Message());
        } else if (const auto* previous = dynamic_cast<const Exception*>(exception)) {
            FMethods.emplace_back();
            FMessages.push_back(previous->Message());
        } else {
            FMethods.emplace_back();
            FMessages.push_back(Utf8ToWide(exception->what()));
        }
    } catch (...) {
    }
}
