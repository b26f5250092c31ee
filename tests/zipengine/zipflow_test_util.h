// Helpers of the archiver component's tests: dialogs that answer from a script instead of a
// person, and a TZipFlow on a fake drive with those dialogs.
#pragma once
#include <deque>
#include <string>
#include <utility>
#include <vector>

#include "ZipFlow.h"
#include "zip_test_util.h"

namespace ziptest {

class TScriptedDialogs : public TZFDialogs {
public:
    TZFOverwriteAnswer ConfirmOverwrite(const std::wstring& Text) override {
        OverwriteTexts.push_back(Text);
        return Next(OverwriteAnswers, oaNo);
    }
    bool AskPassword(const std::wstring& Caption, std::string& Password) override {
        PasswordCaptions.push_back(Caption);
        PasswordsShown.push_back(Password);
        const std::pair<bool, std::string> a = Next(PasswordAnswers, std::make_pair(false, std::string()));
        if (a.first) Password = a.second;
        return a.first;
    }
    TZFAction AskFailure(const std::wstring& Text, bool AllowRetry) override {
        FailureTexts.push_back(Text);
        FailureRetry.push_back(AllowRetry);
        return Next(FailureAnswers, fxaAbort);
    }
    size_t Asked() const { return OverwriteTexts.size() + PasswordCaptions.size() + FailureTexts.size(); }

    // Answers in order; once they run out: No, Cancel, Abort.
    std::deque<TZFOverwriteAnswer> OverwriteAnswers;
    std::deque<std::pair<bool, std::string>> PasswordAnswers;
    std::deque<TZFAction> FailureAnswers;
    std::vector<std::wstring> OverwriteTexts, PasswordCaptions, FailureTexts;
    std::vector<std::string> PasswordsShown;
    std::vector<bool> FailureRetry;

private:
    template <class T>
    static T Next(std::deque<T>& q, T def) {
        if (q.empty()) return def;
        T v = q.front();
        q.pop_front();
        return v;
    }
};

// A TZipFlow whose questions are scripted and whose drive is fake.
struct TFlow : TZipFlow {
    TFlow() : TZipFlow(nullptr) {
        Services = &Drive;
        Dialogs = &Asked;
    }
    // Opens the bytes as an archive held in the flow's own memory stream.
    void OpenBytes(const std::string& Bytes) {
        Archive.SetSize(0);
        if (!Bytes.empty()) Archive.WriteBuffer(Bytes.data(), (int32_t)Bytes.size());
        OpenArchiveStream(&Archive, false);
    }
    void OpenFixture(const char* Name) { OpenBytes(ReadFileBytes(DataFile(Name))); }
    // The stored names the search finds, in directory order.
    std::vector<std::wstring> Find(const std::wstring& Mask, int32_t Attr = ZFAllEntriesAttr,
                                   const std::wstring& Exclusion = L"") {
        std::vector<std::wstring> names;
        TZFArchiveItem item;
        for (bool ok = FindFirst(Mask, item, Attr, Exclusion); ok; ok = FindNext(item))
            names.push_back(Directory()->Items.ItemAt(item.SearchState.ItemIndex).EntryName);
        return names;
    }
    // Failures answered with the action given; their engine codes are kept.
    void CollectFailures(TZFAction Answer) {
        OnProcessFileFailure = [this, Answer](TObject*, const std::wstring& name, TZFProcessOperation, int32_t native,
                                              int32_t, const std::wstring&, TZFAction& action) {
            Failures.push_back({name, native});
            action = Answer;
        };
    }

    TFakeDrive Drive;
    TScriptedDialogs Asked;
    TMemoryStream Archive;
    std::vector<std::pair<std::wstring, int32_t>> Failures;
};

}  // namespace ziptest
