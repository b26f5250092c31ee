// A wizard form for tests: ending the process throws instead, message boxes are answered by a
// script, and the unit start-up that the form relies on (the installer's data folders) is done.
#pragma once
#include <gtest/gtest.h>

#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "CommonConst.h"
#include "Form_Main.h"
#include "KWCommonLib.h"
#include "SysUtils.h"
#include "WinApi.h"

// Thrown where the form would end the process.
struct TProcessEnded {};

class TTestFormMain : public TFormMain {
public:
    TTestFormMain() : TFormMain(nullptr) {
        CommonConst_Initialize();
        DoCreate();
        Params.clear();
    }
    using TFormMain::ShowPage;
    int32_t Ends = 0;

protected:
    void EndProcess() override {
        ++Ends;
        throw TProcessEnded();
    }
};

// Answers every message box from a queue (Yes, or OK, when the queue is empty) and records it.
struct TBoxScript {
    struct TBox {
        std::wstring Text;
        int32_t Type;
        HWND Owner;
    };
    std::vector<TBox> Boxes;
    std::deque<int32_t> Answers;
    TKWMessageBoxHook Previous;

    explicit TBoxScript(std::initializer_list<int32_t> AAnswers = {}) : Answers(AAnswers) {
        Previous = KWSetMessageBoxHook([this](const std::wstring& AText, const std::wstring&, int32_t AType, HWND AOwner) {
            Boxes.push_back({AText, AType, AOwner});
            if (Answers.empty()) return (AType & 0xF) == MB_YESNO ? IDYES : IDOK;
            const int32_t answer = Answers.front();
            Answers.pop_front();
            return answer;
        });
    }
    ~TBoxScript() { KWSetMessageBoxHook(Previous); }
    std::vector<std::wstring> Texts() const {
        std::vector<std::wstring> texts;
        for (const TBox& b : Boxes) texts.push_back(b.Text);
        return texts;
    }
};

inline std::wstring FixturePath(const char* AName) {
    return Utf8ToWide(std::string(TEST_DATA_DIR "/installer/") + AName);
}

// A fresh folder under the temporary folder, removed with everything in it at the end.
struct TTempDir {
    std::wstring Path;   // with a trailing "\"
    explicit TTempDir(const std::wstring& AName) {
        Path = KWGetTempDir() + L"wiz_" + AName + L"\\";
        KWDeleteFolder(Path, false);
        KWForceDirectories(Path);
    }
    ~TTempDir() { KWDeleteFolder(Path, false); }
};
