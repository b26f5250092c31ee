// The rich-text unit's shared pieces: the character-format record (the memo objects' streams and
// the control's clipboard format store it as it is) and the unit's start-up. The control itself,
// a window, is in ietextc_control.h (Windows build only).
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

// One shared character format: 280 bytes, stored and copied to the clipboard as they are.
struct TIECharFormat {
    int32_t RefCount;        // characters using this record
    uint8_t FontName[256];   // length byte, then up to 255 ANSI characters
    int32_t FontHeight;      // font height: negative = character height in pixels
    uint8_t FontStyle;       // bit 0 bold, 1 italic, 2 underline, 3 strike-out
    uint8_t Pad1[3];
    int32_t FontColor;       // colour of the glyphs
    int32_t BackColor;       // colour of the character background
    uint8_t BackStyle;       // brush style of the character background
    uint8_t Alignment;       // paragraph alignment: 0 left, 1 right, 2 centre, 3 justify
    uint8_t Pad2[2];
};
static_assert(sizeof(TIECharFormat) == 280, "the character format is a stored record of 280 bytes");
static_assert(offsetof(TIECharFormat, FontName) == 4 && offsetof(TIECharFormat, FontHeight) == 260 &&
                  offsetof(TIECharFormat, FontStyle) == 264 && offsetof(TIECharFormat, FontColor) == 268 &&
                  offsetof(TIECharFormat, BackColor) == 272 && offsetof(TIECharFormat, BackStyle) == 276 &&
                  offsetof(TIECharFormat, Alignment) == 277,
              "the character format's fields keep their stored offsets");

// Paragraph alignments of TIECharFormat.Alignment.
constexpr uint8_t kIEAlignLeft = 0, kIEAlignRight = 1, kIEAlignCenter = 2, kIEAlignJustify = 3;

// An all-zero record (padding included, so that records compare byte for byte).
TIECharFormat IEEmptyCharFormat();
// The font name as ANSI text / set from ANSI text (cut to 255 characters, the rest zeroed).
std::string IECharFormatFontName(const TIECharFormat& Format);
void IESetCharFormatFontName(TIECharFormat& Format, const std::string& Name);
// Two records are the same format when everything but the reference count is equal.
bool IESameCharFormat(const TIECharFormat& A, const TIECharFormat& B);

// The clipboard format "PICTURA TEXTMEMO" (0 before the set-up and without a clipboard).
extern uint32_t IETextControlClipboardFormat;

void IETextControlInitialize();
void IETextControlFinalize();   // does nothing
