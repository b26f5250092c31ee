// The writer-side object model of PDF 1.4: value objects that write themselves in PDF syntax, the
// ordered list of indirect objects that numbers them, the catalog, page tree and pages, the file
// header, the body and the cross-reference table with its trailer; and the two byte encoders that
// the PDF and PostScript writers share (run-length and ASCII base-85). Nothing here reads PDF.
// Objects are not validated: the writer supplies well-formed ones; stream errors propagate.
// Platform-neutral.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "Classes.h"

class TIETemporaryFileStream;

// The base of every PDF value. ObjectNumber is 0 until the object joins an object list (then its
// index + 1); Position is where its last serialisation started (for an indirect object, its
// "obj" line). Keep: a container that holds the object does not free it, because the object is
// also held elsewhere (the object list's owner or a second container).
class TIEPDFObject : public TObject {
public:
    KW_CLASS_NAME(TIEPDFObject)
    int32_t ObjectNumber = 0;
    int64_t Position = 0;
    bool Keep = false;
    // Records the stream position, then writes the object's syntax.
    void WriteTo(TStream* Stream);

protected:
    virtual void WriteSyntax(TStream* Stream) = 0;
};

// The document's objects in number order; the list does not own them.
using TIEPDFObjectList = std::vector<TIEPDFObject*>;

// "N G R".
class TIEPDFRefObject : public TIEPDFObject {
public:
    KW_CLASS_NAME(TIEPDFRefObject)
    TIEPDFRefObject(int32_t AObjectNumber, int32_t AGeneration) : Number(AObjectNumber), Generation(AGeneration) {}
    int32_t Number;
    int32_t Generation;

protected:
    void WriteSyntax(TStream* Stream) override;
};

// A number with up to 15 significant digits and "." as the decimal point, never in exponent
// form (PDF has none); NaN and infinities are written as 0.
class TIEPDFNumericObject : public TIEPDFObject {
public:
    KW_CLASS_NAME(TIEPDFNumericObject)
    explicit TIEPDFNumericObject(double AValue) : Value(AValue) {}
    double Value;

protected:
    void WriteSyntax(TStream* Stream) override;
};

// "true" or "false".
class TIEPDFBooleanObject : public TIEPDFObject {
public:
    KW_CLASS_NAME(TIEPDFBooleanObject)
    explicit TIEPDFBooleanObject(bool AValue) : Value(AValue) {}
    bool Value;

protected:
    void WriteSyntax(TStream* Stream) override;
};

// A literal string: "(" bytes ")" with backspace, tab, line feed, form feed, carriage return,
// the parentheses and the backslash escaped by a backslash.
class TIEPDFStringObject : public TIEPDFObject {
public:
    KW_CLASS_NAME(TIEPDFStringObject)
    explicit TIEPDFStringObject(std::string AValue) : Value(std::move(AValue)) {}
    std::string Value;

protected:
    void WriteSyntax(TStream* Stream) override;
};

// "/" and the name; bytes outside "!".."~", "#" and the PDF delimiters as "#" and two upper-case
// hexadecimal digits.
class TIEPDFNameObject : public TIEPDFObject {
public:
    KW_CLASS_NAME(TIEPDFNameObject)
    explicit TIEPDFNameObject(std::string AName) : Name(std::move(AName)) {}
    std::string Name;

protected:
    void WriteSyntax(TStream* Stream) override;
};

// "[" and each item followed by a blank, then "]". Owns its items unless they are kept.
class TIEPDFArrayObject : public TIEPDFObject {
public:
    KW_CLASS_NAME(TIEPDFArrayObject)
    TIEPDFArrayObject() = default;
    ~TIEPDFArrayObject() override;
    TIEPDFArrayObject(const TIEPDFArrayObject&) = delete;
    TIEPDFArrayObject& operator=(const TIEPDFArrayObject&) = delete;
    void Add(TIEPDFObject* Item) { Items.push_back(Item); }
    int32_t GetCount() const { return static_cast<int32_t>(Items.size()); }
    TIEPDFObject* GetItem(int32_t Index) const { return Items[Index]; }

protected:
    void WriteSyntax(TStream* Stream) override;

private:
    std::vector<TIEPDFObject*> Items;
};

// "<< " and, per entry in insertion order, "/" key, a blank, the value and LF, then ">>". Keys are
// written as given (without the slash). Owns its values unless they are kept.
class TIEPDFDictionaryObject : public TIEPDFObject {
public:
    KW_CLASS_NAME(TIEPDFDictionaryObject)
    TIEPDFDictionaryObject() = default;
    ~TIEPDFDictionaryObject() override;
    TIEPDFDictionaryObject(const TIEPDFDictionaryObject&) = delete;
    TIEPDFDictionaryObject& operator=(const TIEPDFDictionaryObject&) = delete;
    // Appends an entry (a key may be added twice; the writer does not).
    void AddItem(const std::string& Key, TIEPDFObject* Value);
    // Inserts an entry at Index (0 makes it the first).
    void InsertItem(int32_t Index, const std::string& Key, TIEPDFObject* Value);
    // Replaces the value of Key in its place (freeing the old one unless kept), or appends it.
    void SetItem(const std::string& Key, TIEPDFObject* Value);
    // The value of Key, or none.
    TIEPDFObject* GetItem(const std::string& Key) const;
    int32_t GetCount() const { return static_cast<int32_t>(Items.size()); }
    const std::string& GetKey(int32_t Index) const { return Items[Index].first; }

protected:
    void WriteSyntax(TStream* Stream) override;

private:
    std::vector<std::pair<std::string, TIEPDFObject*>> Items;
};

// Data bytes (in memory, or moved to a temporary file) with an owned dictionary that always holds
// "Length": the dictionary (its "Length" set to the data size), LF, "stream", LF, the data, LF,
// "endstream".
class TIEPDFStreamObject : public TIEPDFObject {
public:
    KW_CLASS_NAME(TIEPDFStreamObject)
    TIEPDFStreamObject();
    TIEPDFStreamObject(const void* Data, int32_t Size);   // CreateWithData: a copy of Size bytes
    ~TIEPDFStreamObject() override;
    TIEPDFStreamObject(const TIEPDFStreamObject&) = delete;
    TIEPDFStreamObject& operator=(const TIEPDFStreamObject&) = delete;

    TIEPDFDictionaryObject* GetDictionary() const { return Dictionary.get(); }
    int64_t GetDataSize() const;
    // Writes the data to a new temporary file (IEGetTempFileName) and frees the memory copy, so
    // that a document of many pages holds one page's image in memory at a time.
    void MoveToTempFile();

protected:
    void WriteSyntax(TStream* Stream) override;

private:
    std::unique_ptr<TIEPDFDictionaryObject> Dictionary;
    std::vector<uint8_t> Data;
    std::unique_ptr<TIETemporaryFileStream> TempFile;
};

// Appends Obj to Objects; its number becomes the list's new count.
void IEPDFAddObject(TIEPDFObjectList& Objects, TIEPDFObject* Obj);
// The catalog ("Type" /Catalog), added to Objects; added first, it is object 1.
TIEPDFDictionaryObject* IEPDFAddCatalog(TIEPDFObjectList& Objects);
// The page tree, added to Objects: "Type" /Pages, "Kids" (references to Pages in order, each page
// given "Parent"), "Count"; the first object of Objects (the catalog) gets "Pages".
TIEPDFDictionaryObject* IEPDFAddPages(TIEPDFObjectList& Objects, const TIEPDFObjectList& Pages);
// A page: "Type" /Page, "Resources" (a reference, when given), "MediaBox", "Contents" (a
// reference); added to Objects and appended to Pages. The page owns MediaBox.
TIEPDFDictionaryObject* IEPDFAddPage(TIEPDFObjectList& Objects, TIEPDFObjectList& Pages, TIEPDFObject* Resources,
                                     TIEPDFArrayObject* MediaBox, int32_t ContentsNumber);
// "%PDF-1.4" and a comment line of four bytes above 127 (a binary file).
void IEPDFWriteHeader(TStream* Stream);
// Each object as "N 0 obj", its syntax, "endobj"; its Position becomes the start of that line.
void IEPDFWriteObjects(TStream* Stream, const TIEPDFObjectList& Objects);
// The cross-reference table of the objects' positions and the trailer (Size, Root 1 0 R, Info),
// "startxref" and "%%EOF". Without Info the trailer has no "Info" entry.
void IEPDFWriteTrailer(TStream* Stream, const TIEPDFObjectList& Objects, TIEPDFObject* Info);
// Ch prepended to S until Res has at least Len characters.
void IEPDFPadLeft(const std::string& S, int32_t Len, char Ch, std::string& Res);

// The line's bytes and one LF; the bytes alone.
void IEWriteLineLF(TStream* Stream, const std::string& Line);
void IEWriteStr(TStream* Stream, const std::string& S);

// RunLengthDecode data of Size bytes of Src into Dst, ended by the end-of-data byte 128; returns
// the bytes written. Dst must hold 2 x Size + 1 bytes (short literals cost a header byte each).
int32_t IERunLengthEncode(const uint8_t* Src, int32_t Size, uint8_t* Dst);
// Count (1..4) bytes of Src as "z" (a full group of zeros) or Count + 1 base-85 digits into Dst;
// returns the characters written.
int32_t IEAscii85EncodeGroup(const uint8_t* Src, int32_t Count, char* Dst);
// ASCII85Decode data of Size bytes of Src into Dst: groups, CR LF after a group that takes the
// line above 74 characters, then "~>" and CR LF. Written grows by the group characters; returns
// every character written. Dst must hold IEAscii85EncodedBound(Size) bytes.
int32_t IEAscii85Encode(const uint8_t* Src, int32_t Size, char* Dst, int32_t& Written);
int64_t IEAscii85EncodedBound(int32_t Size);
