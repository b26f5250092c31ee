// The image library's table of localised words: 157 dialog captions, each known by its index, in
// 21 built-in languages plus a row the application may fill; the per-language character
// information and the library's version text. IEInitWords (iewords.h) fills the table.
#pragma once

#include <cstdint>
#include <string>

enum TMsgLanguage : uint8_t {
    msSystem = 0,   // the language of the Windows user
    msEnglish,
    msItalian,
    msGerman,
    msSpanish,
    msFrench,
    msPortuguese,
    msGreek,
    msRussian,
    msDutch,
    msSwedish,
    msPolish,
    msJapanese,
    msCzech,
    msFinnish,
    msFarsi,
    msChinese,
    msChineseTraditional,
    msDanish,
    msTurkish,
    msKorean,
    msHungarian,
    msUser   // the application's own row
};
constexpr int32_t IELanguageCount = 23;

using TIEWordIndex = uint8_t;   // 0..156
constexpr int32_t IEWordCount = 157;

// 23 rows of 157 words, all empty until IEInitWords runs; msSystem stays empty.
extern std::wstring IEWordTable[IELanguageCount][IEWordCount];

struct TIELANGUAGECHARINFO {
    int32_t Charset;        // 1 the default character set; 161 Greek, 204 Russian, 178 Arabic
    std::wstring FontName;  // the font offered to dialogs, or empty
    uint16_t CodePage;      // what IESetWordAnsi converts with (0: the ANSI code page)
};
extern const TIELANGUAGECHARINFO IELanguageCharInfo[IELanguageCount];

// The library's version text.
extern const wchar_t* const IEVersionText;

// Stores Text as the word. Indexes outside the table are ignored.
void IESetWord(uint8_t Language, uint8_t Index, const std::wstring& Text);
// Converts Text from the code page of the language's character information and stores it.
void IESetWordAnsi(uint8_t Language, uint8_t Index, const std::string& Text);

// The word in Language, or in English when that language's entry is empty; msSystem chooses the
// row by the Windows user's language. Empty for an index outside the table.
std::wstring IEGetWord(TIEWordIndex Index, TMsgLanguage Language);

// The row that msSystem stands for under a Windows language identifier (primary language in bits
// 0-9, sub-language in bits 10-15); English for languages without a row.
TMsgLanguage IEMsgLanguageForLangID(uint16_t LangID);
