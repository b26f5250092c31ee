#include "iecoredefs_words.h"

#include "SysUtils.h"
#include "iecoreutils_platform.h"

std::wstring IEWordTable[IELanguageCount][IEWordCount];

const TIELANGUAGECHARINFO IELanguageCharInfo[IELanguageCount] = {
    {1, L"", 0},        // msSystem
    {1, L"", 1252},     // msEnglish
    {1, L"", 1252},     // msItalian
    {1, L"", 1252},     // msGerman
    {1, L"", 1252},     // msSpanish
    {1, L"", 1252},     // msFrench
    {1, L"", 1252},     // msPortuguese
    {161, L"", 1253},   // msGreek
    {204, L"", 1251},   // msRussian
    {1, L"", 1252},     // msDutch
    {1, L"", 1252},     // msSwedish
    {1, L"", 1250},     // msPolish
    {1, L"", 932},      // msJapanese
    {1, L"", 1250},     // msCzech
    {1, L"", 1252},     // msFinnish
    {178, L"Tahoma", 1256},   // msFarsi
    {1, L"", 936},      // msChinese
    {1, L"", 950},      // msChineseTraditional
    {1, L"", 1252},     // msDanish
    {1, L"", 1254},     // msTurkish
    {1, L"", 949},      // msKorean
    {1, L"", 1250},     // msHungarian
    {1, L"", 1252},     // msUser
};

const wchar_t* const IEVersionText = L"4.1.0";

void IESetWord(uint8_t Language, uint8_t Index, const std::wstring& Text) {
    if (Language >= IELanguageCount || Index >= IEWordCount) return;
    IEWordTable[Language][Index] = Text;
}

void IESetWordAnsi(uint8_t Language, uint8_t Index, const std::string& Text) {
    if (Language >= IELanguageCount || Index >= IEWordCount) return;
    IEWordTable[Language][Index] = AnsiToWide(Text, IELanguageCharInfo[Language].CodePage);
}

TMsgLanguage IEMsgLanguageForLangID(uint16_t LangID) {
    const uint16_t primary = LangID & 0x3FF;
    const uint16_t sub = LangID >> 10;
    switch (primary) {
    case 4: return sub == 1 ? msChineseTraditional : sub == 2 ? msChinese : msEnglish;
    case 5: return msCzech;
    case 6: return msDanish;
    case 7: return msGerman;
    case 8: return msGreek;
    case 9: return msEnglish;
    case 10: return msSpanish;
    case 11: return msFinnish;
    case 12: return msFrench;
    case 14: return msHungarian;
    case 16: return msItalian;
    case 17: return msJapanese;
    case 18: return msKorean;
    case 19: return msDutch;
    case 21: return msPolish;
    case 22: return msPortuguese;
    case 25: return msRussian;
    case 29: return msSwedish;
    case 31: return msTurkish;
    case 41: return msFarsi;
    default: return msEnglish;
    }
}

std::wstring IEGetWord(TIEWordIndex Index, TMsgLanguage Language) {
    if (Index >= IEWordCount || Language >= IELanguageCount) return std::wstring();
    if (Language == msSystem) Language = IEMsgLanguageForLangID(IEUserDefaultLangID());
    const std::wstring& word = IEWordTable[Language][Index];
    return word.empty() ? IEWordTable[msEnglish][Index] : word;
}
