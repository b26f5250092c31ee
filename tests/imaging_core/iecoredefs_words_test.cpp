// The word table: English fallbacks, the application's row, the user-language choice and the
// code-page conversion of the other languages.
#include <gtest/gtest.h>

#include "iecoredefs_words.h"
#include "iewords.h"

namespace {

class IEWords : public ::testing::Test {
protected:
    void SetUp() override {
        for (auto& row : IEWordTable)
            for (auto& word : row) word.clear();
        IEInitWords();
    }
    void TearDown() override {
        for (auto& row : IEWordTable)
            for (auto& word : row) word.clear();
    }
};

}   // namespace

TEST_F(IEWords, EnglishRowAndFallbacks) {
    EXPECT_EQ(IEGetWord(0, msEnglish), L"Preview");
    EXPECT_EQ(IEGetWord(153, msEnglish), L"Page %d of %d");
    EXPECT_EQ(IEGetWord(156, msEnglish), L"Next");
    EXPECT_EQ(IEGetWord(128, msEnglish), L"Automatically updates your preview with the changes you have selected");
    for (int i = 0; i < IEWordCount; ++i) EXPECT_FALSE(IEWordTable[msEnglish][i].empty()) << i;
    EXPECT_EQ(IEGetWord(133, msItalian), L"HSV");   // a word Italian lacks
    EXPECT_EQ(IEGetWord(4, msItalian), L"Annulla");
    EXPECT_EQ(IEGetWord(157, msEnglish), L"");     // outside the table
    EXPECT_TRUE(IEWordTable[msSystem][0].empty());
    // The application's row answers in English until it is set.
    for (int i = 0; i < IEWordCount; ++i) EXPECT_EQ(IEGetWord((TIEWordIndex)i, msUser), IEWordTable[msEnglish][i]);
    IESetWord(msUser, 4, L"Abort");
    EXPECT_EQ(IEGetWord(4, msUser), L"Abort");
    IESetWord(30, 4, L"x");     // outside the table: ignored
    IESetWord(msUser, 200, L"x");
}

TEST_F(IEWords, OtherLanguagesComeThroughTheirCodePages) {
    EXPECT_EQ(IEGetWord(0, msJapanese), L"プレビュー");
    EXPECT_EQ(IEGetWord(4, msJapanese), L"キャンセル");
    EXPECT_EQ(IEGetWord(16, msGerman), L"Grün");
    EXPECT_EQ(IEGetWord(0, msGreek), L"Προεπισκόπηση");
    EXPECT_EQ(IEGetWord(4, msRussian), L"Отмена");
    EXPECT_EQ(IEGetWord(1, msPolish), L"Oryginał");
    EXPECT_EQ(IEGetWord(0, msChinese), L"预览");
    EXPECT_EQ(IEGetWord(0, msChineseTraditional), L"預覽");
    EXPECT_EQ(IEGetWord(0, msKorean), L"미리 보기");
    EXPECT_EQ(IEGetWord(4, msTurkish), L"İptal");
    EXPECT_EQ(IEGetWord(0, msFarsi), L"پیش‌نمایش");
    IESetWordAnsi(msJapanese, 5, "\x8C\x8B\x89\xCA");   // 結果 in code page 932
    EXPECT_EQ(IEGetWord(5, msJapanese), L"結果");
    EXPECT_EQ(IELanguageCharInfo[msFarsi].FontName, L"Tahoma");
    EXPECT_EQ(IELanguageCharInfo[msGreek].Charset, 161);
    EXPECT_EQ(IELanguageCharInfo[msKorean].CodePage, 949);
    EXPECT_STREQ(IEVersionText, L"4.1.0");
}

TEST_F(IEWords, JapaneseRowHoldsEveryWordOfTheDialogs) {
    // The words the parameters-preview dialog and the palette dialog show; each has its own
    // Japanese text ("OK" is the same in both rows).
    const int shown[] = {0,  1,  2,  4,  5,  37, 38, 39, 40, 42, 43, 44, 45, 46, 47, 48, 49, 50,
                         51, 52, 53, 54, 55, 56, 57, 58, 59, 60, 61, 62, 63, 64, 65, 66, 120, 123};
    for (int i : shown) {
        EXPECT_FALSE(IEWordTable[msJapanese][i].empty()) << i;
        EXPECT_NE(IEGetWord((TIEWordIndex)i, msJapanese), IEGetWord((TIEWordIndex)i, msEnglish)) << i;
    }
    EXPECT_EQ(IEGetWord(3, msJapanese), L"OK");
    EXPECT_EQ(IEGetWord(37, msJapanese), L"パラメーターのプレビュー");
    EXPECT_EQ(IEGetWord(56, msJapanese), L"水平位置 (インチ)");
}

TEST_F(IEWords, SystemLanguageChoosesTheRow) {
    struct { uint16_t langId; TMsgLanguage row; } cases[] = {
        {0x0411, msJapanese}, {0x0409, msEnglish}, {0x0809, msEnglish}, {0x0404, msChineseTraditional},
        {0x0804, msChinese}, {0x0C04, msEnglish}, {0x1004, msEnglish}, {0x0401, msEnglish}, {0x0429, msFarsi},
        {0x0407, msGerman}, {0x041F, msTurkish}, {0x040E, msHungarian}, {0x0000, msEnglish},
    };
    for (const auto& c : cases) EXPECT_EQ(IEMsgLanguageForLangID(c.langId), c.row) << std::hex << c.langId;
    EXPECT_FALSE(IEGetWord(0, msSystem).empty());
}
