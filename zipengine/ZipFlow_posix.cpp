// The archiver's built-in questions for the native build: there is no one to ask, so an overwrite
// is refused, the password dialog is cancelled (the entry is skipped) and a failed entry ends the
// batch.
#include "ZipFlow.h"

namespace {

class TUnattendedDialogs : public TZFDialogs {
public:
    TZFOverwriteAnswer ConfirmOverwrite(const std::wstring& Text) override { return oaNo; }
    bool AskPassword(const std::wstring& Caption, std::string& Password) override { return false; }
    TZFAction AskFailure(const std::wstring& Text, bool AllowRetry) override { return fxaAbort; }
};

}  // namespace

TZFDialogs& ZFSystemDialogs() {
    static TUnattendedDialogs dialogs;
    return dialogs;
}
