#include "iecoreutils_pdf.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "SysUtils.h"
#include "iecoreutils_streams.h"
#include "iecoreutils_text.h"

namespace {

std::string IntText(int64_t Value) { return std::to_string(Value); }

// The general-format text of a number rewritten without an exponent: "1.5E-5" becomes
// "0.000015", "2E20" becomes "200000000000000000000". Text without an exponent is kept.
std::string PlainDecimal(const std::string& Text) {
    const size_t e = Text.find_first_of("Ee");
    if (e == std::string::npos) return Text;
    std::string mantissa = Text.substr(0, e);
    const int32_t exponent = std::atoi(Text.c_str() + e + 1);
    std::string sign;
    if (!mantissa.empty() && (mantissa[0] == '-' || mantissa[0] == '+')) {
        if (mantissa[0] == '-') sign = "-";
        mantissa.erase(0, 1);
    }
    const size_t dot = mantissa.find('.');
    int64_t point = static_cast<int64_t>(dot == std::string::npos ? mantissa.size() : dot) + exponent;
    std::string digits = mantissa;
    if (dot != std::string::npos) digits.erase(dot, 1);
    // Leading zeros of the mantissa (none in the general format, but harmless) move the point.
    while (digits.size() > 1 && digits[0] == '0') {
        digits.erase(0, 1);
        --point;
    }
    std::string out;
    if (point <= 0) {
        out = "0." + std::string(static_cast<size_t>(-point), '0') + digits;
    } else if (point >= static_cast<int64_t>(digits.size())) {
        out = digits + std::string(static_cast<size_t>(point - static_cast<int64_t>(digits.size())), '0');
    } else {
        out = digits.substr(0, static_cast<size_t>(point)) + "." + digits.substr(static_cast<size_t>(point));
    }
    // No trailing zeros after the point.
    if (out.find('.') != std::string::npos) {
        while (out.back() == '0') out.pop_back();
        if (out.back() == '.') out.pop_back();
    }
    return sign + out;
}

// The PDF delimiters and "#", which a name must escape to keep its meaning.
bool IsNameDelimiter(uint8_t C) { return std::strchr("#()<>[]{}/%", C) != nullptr && C != 0; }

void FreeUnlessKept(TIEPDFObject* Obj) {
    if (Obj != nullptr && !Obj->Keep) delete Obj;
}

const char kHex[] = "0123456789ABCDEF";

// Writes a block of any size in pieces that a stream's 32-bit count takes.
void WriteBytes(TStream* Stream, const std::vector<uint8_t>& Bytes) {
    size_t done = 0;
    while (done < Bytes.size()) {
        const int32_t chunk = static_cast<int32_t>(std::min<size_t>(Bytes.size() - done, 1 << 20));
        Stream->WriteBuffer(Bytes.data() + done, chunk);
        done += static_cast<size_t>(chunk);
    }
}

}   // namespace

// ---- Output helpers ---------------------------------------------------------------------------

void IEWriteStr(TStream* Stream, const std::string& S) {
    if (!S.empty()) Stream->WriteBuffer(S.data(), static_cast<int32_t>(S.size()));
}

void IEWriteLineLF(TStream* Stream, const std::string& Line) {
    IEWriteStr(Stream, Line);
    const char lf = '\n';
    Stream->WriteBuffer(&lf, 1);
}

void IEPDFPadLeft(const std::string& S, int32_t Len, char Ch, std::string& Res) {
    Res = S;
    if (static_cast<int64_t>(Res.size()) < Len) Res.insert(0, static_cast<size_t>(Len) - Res.size(), Ch);
}

// ---- Objects ----------------------------------------------------------------------------------

void TIEPDFObject::WriteTo(TStream* Stream) {
    Position = Stream->GetPosition();
    WriteSyntax(Stream);
}

void TIEPDFRefObject::WriteSyntax(TStream* Stream) {
    IEWriteStr(Stream, IntText(Number) + " " + IntText(Generation) + " R");
}

void TIEPDFNumericObject::WriteSyntax(TStream* Stream) {
    if (!std::isfinite(Value)) {
        IEWriteStr(Stream, "0");
        return;
    }
    std::string s;
    IEFloatToStrDotA(s, Value);
    IEWriteStr(Stream, PlainDecimal(s));
}

void TIEPDFBooleanObject::WriteSyntax(TStream* Stream) { IEWriteStr(Stream, Value ? "true" : "false"); }

void TIEPDFStringObject::WriteSyntax(TStream* Stream) {
    std::string s = "(";
    for (char c : Value) {
        switch (c) {
            case '\b': s += "\\b"; break;
            case '\t': s += "\\t"; break;
            case '\n': s += "\\n"; break;
            case '\f': s += "\\f"; break;
            case '\r': s += "\\r"; break;
            case '(': s += "\\("; break;
            case ')': s += "\\)"; break;
            case '\\': s += "\\\\"; break;
            default: s += c;
        }
    }
    s += ')';
    IEWriteStr(Stream, s);
}

void TIEPDFNameObject::WriteSyntax(TStream* Stream) {
    std::string s = "/";
    for (char ch : Name) {
        const uint8_t c = static_cast<uint8_t>(ch);
        if (c < '!' || c > '~' || IsNameDelimiter(c)) {
            s += '#';
            s += kHex[c >> 4];
            s += kHex[c & 15];
        } else {
            s += ch;
        }
    }
    IEWriteStr(Stream, s);
}

TIEPDFArrayObject::~TIEPDFArrayObject() {
    for (auto it = Items.rbegin(); it != Items.rend(); ++it) FreeUnlessKept(*it);
}

void TIEPDFArrayObject::WriteSyntax(TStream* Stream) {
    IEWriteStr(Stream, "[");
    for (TIEPDFObject* item : Items) {
        item->WriteTo(Stream);
        IEWriteStr(Stream, " ");
    }
    IEWriteStr(Stream, "]");
}

TIEPDFDictionaryObject::~TIEPDFDictionaryObject() {
    for (auto it = Items.rbegin(); it != Items.rend(); ++it) FreeUnlessKept(it->second);
}

void TIEPDFDictionaryObject::AddItem(const std::string& Key, TIEPDFObject* Value) { Items.emplace_back(Key, Value); }

void TIEPDFDictionaryObject::InsertItem(int32_t Index, const std::string& Key, TIEPDFObject* Value) {
    if (Index < 0) Index = 0;
    if (Index > GetCount()) Index = GetCount();
    Items.insert(Items.begin() + Index, std::make_pair(Key, Value));
}

void TIEPDFDictionaryObject::SetItem(const std::string& Key, TIEPDFObject* Value) {
    for (auto& item : Items)
        if (item.first == Key) {
            if (item.second != Value) FreeUnlessKept(item.second);
            item.second = Value;
            return;
        }
    AddItem(Key, Value);
}

TIEPDFObject* TIEPDFDictionaryObject::GetItem(const std::string& Key) const {
    for (const auto& item : Items)
        if (item.first == Key) return item.second;
    return nullptr;
}

void TIEPDFDictionaryObject::WriteSyntax(TStream* Stream) {
    IEWriteStr(Stream, "<< ");
    for (const auto& item : Items) {
        IEWriteStr(Stream, "/" + item.first + " ");
        item.second->WriteTo(Stream);
        IEWriteLineLF(Stream, "");
    }
    IEWriteStr(Stream, ">>");
}

TIEPDFStreamObject::TIEPDFStreamObject() : Dictionary(new TIEPDFDictionaryObject) {
    Dictionary->AddItem("Length", new TIEPDFNumericObject(0));
}

TIEPDFStreamObject::TIEPDFStreamObject(const void* AData, int32_t Size) : TIEPDFStreamObject() {
    if (AData != nullptr && Size > 0) {
        const uint8_t* p = static_cast<const uint8_t*>(AData);
        Data.assign(p, p + Size);
    }
}

TIEPDFStreamObject::~TIEPDFStreamObject() = default;

int64_t TIEPDFStreamObject::GetDataSize() const {
    return TempFile ? TempFile->GetSize() : static_cast<int64_t>(Data.size());
}

void TIEPDFStreamObject::MoveToTempFile() {
    if (TempFile) return;
    std::wstring name;
    IEGetTempFileName(name);
    TempFile.reset(new TIETemporaryFileStream(name));
    WriteBytes(TempFile.get(), Data);
    std::vector<uint8_t>().swap(Data);
}

void TIEPDFStreamObject::WriteSyntax(TStream* Stream) {
    Dictionary->SetItem("Length", new TIEPDFNumericObject(static_cast<double>(GetDataSize())));
    Dictionary->WriteTo(Stream);
    IEWriteLineLF(Stream, "");
    IEWriteLineLF(Stream, "stream");
    if (TempFile) {
        TempFile->SetPosition(0);
        IECopyStream(Stream, TempFile.get(), TempFile->GetSize());
    } else {
        WriteBytes(Stream, Data);
    }
    IEWriteLineLF(Stream, "");
    IEWriteStr(Stream, "endstream");
}

// ---- The document -----------------------------------------------------------------------------

void IEPDFAddObject(TIEPDFObjectList& Objects, TIEPDFObject* Obj) {
    Objects.push_back(Obj);
    Obj->ObjectNumber = static_cast<int32_t>(Objects.size());
}

TIEPDFDictionaryObject* IEPDFAddCatalog(TIEPDFObjectList& Objects) {
    auto* catalog = new TIEPDFDictionaryObject;
    catalog->AddItem("Type", new TIEPDFNameObject("Catalog"));
    IEPDFAddObject(Objects, catalog);
    return catalog;
}

TIEPDFDictionaryObject* IEPDFAddPages(TIEPDFObjectList& Objects, const TIEPDFObjectList& Pages) {
    auto* pages = new TIEPDFDictionaryObject;
    IEPDFAddObject(Objects, pages);
    pages->AddItem("Type", new TIEPDFNameObject("Pages"));
    auto* kids = new TIEPDFArrayObject;
    for (TIEPDFObject* page : Pages) {
        kids->Add(new TIEPDFRefObject(page->ObjectNumber, 0));
        if (auto* dict = dynamic_cast<TIEPDFDictionaryObject*>(page))
            dict->AddItem("Parent", new TIEPDFRefObject(pages->ObjectNumber, 0));
    }
    pages->AddItem("Kids", kids);
    pages->AddItem("Count", new TIEPDFNumericObject(static_cast<double>(Pages.size())));
    if (auto* catalog = dynamic_cast<TIEPDFDictionaryObject*>(Objects.front()))
        catalog->AddItem("Pages", new TIEPDFRefObject(pages->ObjectNumber, 0));
    return pages;
}

TIEPDFDictionaryObject* IEPDFAddPage(TIEPDFObjectList& Objects, TIEPDFObjectList& Pages, TIEPDFObject* Resources,
                                     TIEPDFArrayObject* MediaBox, int32_t ContentsNumber) {
    auto* page = new TIEPDFDictionaryObject;
    page->AddItem("Type", new TIEPDFNameObject("Page"));
    if (Resources != nullptr) page->AddItem("Resources", new TIEPDFRefObject(Resources->ObjectNumber, 0));
    page->AddItem("MediaBox", MediaBox);
    page->AddItem("Contents", new TIEPDFRefObject(ContentsNumber, 0));
    IEPDFAddObject(Objects, page);
    Pages.push_back(page);
    return page;
}

void IEPDFWriteHeader(TStream* Stream) {
    IEWriteLineLF(Stream, "%PDF-1.4");
    IEWriteLineLF(Stream, "%\xC8\xD2\xF0\xFE");
}

void IEPDFWriteObjects(TStream* Stream, const TIEPDFObjectList& Objects) {
    for (TIEPDFObject* obj : Objects) {
        const int64_t p = Stream->GetPosition();
        IEWriteLineLF(Stream, IntText(obj->ObjectNumber) + " 0 obj");
        obj->WriteTo(Stream);
        IEWriteLineLF(Stream, "");
        IEWriteLineLF(Stream, "endobj");
        obj->Position = p;
    }
}

void IEPDFWriteTrailer(TStream* Stream, const TIEPDFObjectList& Objects, TIEPDFObject* Info) {
    const int64_t x = Stream->GetPosition();
    const std::string n = IntText(static_cast<int64_t>(Objects.size()) + 1);
    IEWriteLineLF(Stream, "xref");
    IEWriteLineLF(Stream, "0 " + n);
    IEWriteLineLF(Stream, "0000000000 65535 f ");
    for (TIEPDFObject* obj : Objects) {
        std::string pos;
        IEPDFPadLeft(IntText(obj->Position), 10, '0', pos);
        IEWriteLineLF(Stream, pos + " 00000 n ");
    }
    IEWriteLineLF(Stream, "trailer");
    IEWriteLineLF(Stream, "<< /Size " + n);
    IEWriteLineLF(Stream, "/Root 1 0 R");
    if (Info != nullptr) IEWriteLineLF(Stream, "/Info " + IntText(Info->ObjectNumber) + " 0 R");
    IEWriteLineLF(Stream, ">>");
    IEWriteLineLF(Stream, "startxref");
    IEWriteLineLF(Stream, IntText(x));
    IEWriteLineLF(Stream, "%%EOF");
}

// ---- Filters ----------------------------------------------------------------------------------

int32_t IERunLengthEncode(const uint8_t* Src, int32_t Size, uint8_t* Dst) {
    int32_t out = 0;
    int32_t i = 0;
    while (i < Size) {
        int32_t run = 1;
        while (i + run < Size && run < 128 && Src[i + run] == Src[i]) ++run;
        if (run >= 2) {
            Dst[out++] = static_cast<uint8_t>(257 - run);
            Dst[out++] = Src[i];
            i += run;
            continue;
        }
        // A literal: it grows while each byte differs from the one before it; the first byte of an
        // equal pair is its last.
        int32_t len = 1;
        while (i + len < Size && len < 128 && Src[i + len] != Src[i + len - 1]) ++len;
        Dst[out++] = static_cast<uint8_t>(len - 1);
        std::memcpy(Dst + out, Src + i, static_cast<size_t>(len));
        out += len;
        i += len;
    }
    Dst[out++] = 128;
    return out;
}

int32_t IEAscii85EncodeGroup(const uint8_t* Src, int32_t Count, char* Dst) {
    uint32_t v = 0;
    for (int32_t k = 0; k < 4; ++k) v = v << 8 | (k < Count ? Src[k] : 0u);
    if (Count == 4 && v == 0) {
        Dst[0] = 'z';
        return 1;
    }
    char digits[5];
    for (int32_t k = 4; k >= 0; --k) {
        digits[k] = static_cast<char>(v % 85 + 33);
        v /= 85;
    }
    std::memcpy(Dst, digits, static_cast<size_t>(Count) + 1);
    return Count + 1;
}

int64_t IEAscii85EncodedBound(int32_t Size) {
    // Five characters and a line end per group at most, and the terminator.
    return (static_cast<int64_t>(Size < 0 ? 0 : Size) + 3) / 4 * 7 + 4;
}

int32_t IEAscii85Encode(const uint8_t* Src, int32_t Size, char* Dst, int32_t& Written) {
    int32_t out = 0;
    int32_t line = 0;
    for (int32_t i = 0; i < Size; i += 4) {
        const int32_t n = IEAscii85EncodeGroup(Src + i, Size - i < 4 ? Size - i : 4, Dst + out);
        out += n;
        Written += n;
        line += n;
        if (line > 74) {
            Dst[out++] = '\r';
            Dst[out++] = '\n';
            line = 0;
        }
    }
    std::memcpy(Dst + out, "~>\r\n", 4);
    return out + 4;
}
