#include "KWLabel.h"

#include "KWCommonLib.h"
#include "KWPicturaLib.h"

TKWLabel::TKWLabel(TComponent* AOwner)
    : TCustomLabel(AOwner), FCaptions(new TStringList), FFontOfClick(new TFont), FFontOfHotTrack(new TFont),
      FSavedFont(new TFont) {}

TKWLabel::~TKWLabel() = default;

void TKWLabel::SetCaptions(const TStrings* AValue) {
    FCaptions->Assign(AValue);
    RebuildCaption();
}

void TKWLabel::RebuildCaption() {
    const std::wstring caption = Caption();
    if (FCaptions->GetCount() == 0 && !caption.empty()) FCaptions->Add(caption);
    std::wstring text;
    for (int32_t i = 0; i < FCaptions->GetCount(); ++i) {
        if (i > 0) text += L'\r';
        text += WrapLine(FCaptions->GetStrings(i));
    }
    SetCaption(text);
}

int32_t TKWLabel::TextWidth(const std::wstring& AText) {
    HDC dc = GetDC(nullptr);
    HGDIOBJ old = SelectObject(dc, Font()->Handle());
    SIZE size{0, 0};
    GetTextExtentPoint32W(dc, AText.c_str(), (int)AText.size(), &size);
    SelectObject(dc, old);
    ReleaseDC(nullptr, dc);
    return size.cx;
}

namespace {

// Characters that never begin a line in Japanese text: closing brackets and quotes, the
// punctuation marks, small kana, the iteration and prolonged-sound marks, and their Latin and
// half-width forms.
bool NeverStartsALine(wchar_t AChar) {
    static const wchar_t kChars[] =
        L"、。，．・：；？！゛゜ヽヾゝゞ々〻ー―‐〜～…‥"
        L"）〕］｝〉》」』】〙〗’”｠»"
        L"ぁぃぅぇぉっゃゅょゎゕゖァィゥェォッャュョヮヵヶㇰㇱㇲㇳㇴㇵㇶㇷㇸㇹㇺㇻㇼㇽㇾㇿ"
        L"｡｣､･ｰｧｨｩｪｫｬｭｮｯﾞﾟ"
        L",.:;?!)]}%";
    return AChar != 0 && std::wstring(kChars).find(AChar) != std::wstring::npos;
}

// Characters that never end a line: opening brackets and quotes.
bool NeverEndsALine(wchar_t AChar) {
    static const wchar_t kChars[] = L"（〔［｛〈《「『【〘〖‘“｟«｢([{";
    return AChar != 0 && std::wstring(kChars).find(AChar) != std::wstring::npos;
}

bool IsAsciiAlphaNumeric(wchar_t AChar) {
    return (AChar >= L'0' && AChar <= L'9') || (AChar >= L'A' && AChar <= L'Z') || (AChar >= L'a' && AChar <= L'z');
}

// A line may break between ABefore and AAfter: not against the rules of Japanese line breaking,
// and not inside a Latin word or a number.
bool MayBreakBetween(wchar_t ABefore, wchar_t AAfter) {
    if (NeverStartsALine(AAfter) || NeverEndsALine(ABefore)) return false;
    return !(IsAsciiAlphaNumeric(ABefore) && IsAsciiAlphaNumeric(AAfter));
}

}  // namespace

// The line breaks between any two characters (Japanese text has no blanks to break at), at the
// last place where it may break that still fits; where no such place exists, at the width.
std::wstring TKWLabel::WrapLine(const std::wstring& ALine) {
    if (!FWordWrapSelf || (AutoSize() && FAutoSizeMode != asHeight)) return ALine;
    size_t fits = ALine.size();
    while (fits > 1 && TextWidth(ALine.substr(0, fits)) > Width()) --fits;
    if (fits == ALine.size()) return ALine;
    size_t cut = fits;
    while (cut > 1 && !MayBreakBetween(ALine[cut - 1], ALine[cut])) --cut;
    if (!MayBreakBetween(ALine[cut - 1], ALine[cut])) cut = fits;
    // The blanks at the break belong to neither line.
    size_t end = cut, rest = cut;
    while (end > 1 && ALine[end - 1] == L' ') --end;
    while (rest < ALine.size() && ALine[rest] == L' ') ++rest;
    if (rest == ALine.size()) return ALine.substr(0, end);
    return ALine.substr(0, end) + L'\r' + WrapLine(ALine.substr(rest));
}

void TKWLabel::SetWordWrapSelf(bool AValue) {
    if (FWordWrapSelf == AValue) return;
    FWordWrapSelf = AValue;
    RebuildCaption();
}

void TKWLabel::SetAutoSizeMode(tlbAutoSizeMode AValue) {
    FAutoSizeMode = AValue;
    Invalidate();
}

void TKWLabel::SetAlignmentForParentInside(tlbAlignmentInside AValue) {
    FAlignmentInside = AValue;
    Invalidate();
}

void TKWLabel::SetCaptionAntialias(bool AValue) {
    FCaptionAntialias = AValue;
    Invalidate();
}

void TKWLabel::SetHotTrack(bool AValue) {
    FHotTrack = AValue;
    Invalidate();
}

void TKWLabel::SetFontOfClick(const TFont* AValue) {
    if (!AValue) return;
    FFontOfClick->Assign(AValue);
    Invalidate();
}

void TKWLabel::SetFontOfHotTrack(const TFont* AValue) {
    if (!AValue) return;
    FFontOfHotTrack->Assign(AValue);
    Invalidate();
}

// Anti-aliased captions go through the image library's text renderer; under a debugger, or
// without CaptionAntialias, the label draws as the plain label does.
void TKWLabel::DoDrawText(RECT& Rect, UINT Flags) {
    if (!FCaptionAntialias || KWIsDebugging()) {
        TCustomLabel::DoDrawText(Rect, Flags);
        return;
    }
    std::wstring text = GetLabelText();
    if ((Flags & DT_CALCRECT) && (text.empty() || (ShowAccelChar() && text == L"&"))) text += L' ';
    if (!ShowAccelChar()) Flags |= DT_NOPREFIX;
    TCanvas* canvas = Canvas();
    canvas->SetFont(Font());
    if (EllipsisPosition() != epNone && !AutoSize()) {
        Flags &= ~DT_EXPANDTABS;
        Flags |= EllipsisPosition() == epPathEllipsis  ? DT_PATH_ELLIPSIS
                 : EllipsisPosition() == epEndEllipsis ? DT_END_ELLIPSIS
                                                       : DT_WORD_ELLIPSIS;
        if (WordWrap() && (EllipsisPosition() == epEndEllipsis || EllipsisPosition() == epWordEllipsis))
            text = ShortenForEllipsis(text, Rect, Flags);
    }
    TieDrawTextInfo info;
    KWMakeTextInfo(canvas->Font(), info);
    info.Text = text;
    info.Rect = Rect;
    info.Flags = (int32_t)Flags;
    info.AntiAlias = true;
    if (Enabled()) {
        KWDrawTextToCanvas(canvas, info);
    } else {
        info.FontColor = clBtnHighlight;
        OffsetRect(&info.Rect, 1, 1);
        KWDrawTextToCanvas(canvas, info);
        info.FontColor = clBtnShadow;
        info.Rect = Rect;
        KWDrawTextToCanvas(canvas, info);
    }
    Rect = info.Rect;
}

// Wrapped text with an end or word ellipsis loses words from its end until it fits the label's
// height with "..." appended: the text is cut before its last blank or tab (all of it when there
// is none) until the measured height is no more than the client height or the font's height.
std::wstring TKWLabel::ShortenForEllipsis(const std::wstring& AText, const RECT& ARect, UINT AFlags) {
    HDC dc = Canvas()->Handle();
    const int32_t ellipsisWidth = Canvas()->TextWidth(L"...");
    const int32_t fontHeight = Canvas()->TextHeight(L"W");
    const int32_t clientHeight = ClientHeight();
    std::wstring text = AText;
    while (!text.empty()) {
        std::wstring trial = text + L"...";
        RECT r = ARect;
        r.right -= ellipsisWidth;
        DrawTextW(dc, trial.c_str(), (int)trial.size(), &r, AFlags | DT_CALCRECT);
        const int32_t height = r.bottom - r.top;
        if (height <= clientHeight || height <= fontHeight) break;
        const size_t cut = text.find_last_of(L" \t");
        text = cut == std::wstring::npos ? std::wstring() : text.substr(0, cut);
    }
    return text.empty() ? text : text + L"...";
}

// Sizing in one direction: the text is measured as for sizing in both (the left edge moving for
// right-justified text), then the other dimension is put back.
void TKWLabel::AdjustBounds() {
    if (AutoSize()) {
        const int32_t width = Width(), height = Height();
        TCustomLabel::AdjustBounds();
        if (FAutoSizeMode == asWidth) SetBounds(Left(), Top(), Width(), height);
        else if (FAutoSizeMode == asHeight) SetBounds(Left(), Top(), width, Height());
    }
    if (!Parent() || FAlignmentInside == aiNone) return;
    int32_t left = Left(), top = Top();
    if (FAlignmentInside == aiBoth || FAlignmentInside == aiHAlign) left = (Parent()->ClientWidth() - Width()) / 2;
    if (FAlignmentInside == aiBoth || FAlignmentInside == aiVAlign) top = (Parent()->ClientHeight() - Height()) / 2;
    SetBounds(left, top, Width(), Height());
}

void TKWLabel::ShowFont(const TFont* AFont) {
    Font()->Assign(AFont);
    Invalidate();
}

void TKWLabel::CMMouseEnter(TMessage& Message) {
    TCustomLabel::CMMouseEnter(Message);
    if (!FHotTrack) return;
    FSavedFont->Assign(Font());
    ShowFont(FFontOfHotTrack.get());
}

void TKWLabel::CMMouseLeave(TMessage& Message) {
    TCustomLabel::CMMouseLeave(Message);
    if (!FHotTrack) return;
    ShowFont(FSavedFont.get());
}

void TKWLabel::MouseDown(TMouseButton Button, TShiftState Shift, int32_t X, int32_t Y) {
    if (FHotTrack) ShowFont(FFontOfClick.get());
    TCustomLabel::MouseDown(Button, Shift, X, Y);
}

void TKWLabel::MouseUp(TMouseButton Button, TShiftState Shift, int32_t X, int32_t Y) {
    if (FHotTrack) {
        ShowFont(FFontOfClick.get());
        RECT r = GetClientRect();
        ShowFont(PtInRect(&r, POINT{X, Y}) ? FFontOfHotTrack.get() : FSavedFont.get());
    }
    TCustomLabel::MouseUp(Button, Shift, X, Y);
}
