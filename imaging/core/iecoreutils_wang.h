// Wang annotations: the marks (lines, text notes, stamps, embedded images) that document-imaging
// software stores in TIFF tag 32932, kept as a list of objects that the TIFF reader fills from the
// tag's block and the TIFF writer serialises back. Platform-neutral.
//
// The block: a 4-byte header, a 4-byte integer-size flag (1: 32-bit; 0: the 16-bit variant, whose
// named blocks carry 4 more bytes after their size), then records of type, size and data (all
// little-endian 32-bit): 2 a default named block, 5 the 164-byte attributes of a new mark, 6 a named
// block of the last mark. A named block is an 8-byte NUL-padded name, a 4-byte data size and the
// data. The loader checks every size against the block and stops at its end.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "Classes.h"
#include "iecoreutils_geometry.h"

class TIEBitmap;

// The mark-attributes record of the format (164 bytes, little-endian): its LOGFONT in the
// system's layout without depending on the system's headers.
#pragma pack(push, 1)
struct TIEWangLogFont {
    int32_t lfHeight;
    int32_t lfWidth;
    int32_t lfEscapement;
    int32_t lfOrientation;
    int32_t lfWeight;
    uint8_t lfItalic;
    uint8_t lfUnderline;
    uint8_t lfStrikeOut;
    uint8_t lfCharSet;
    uint8_t lfOutPrecision;
    uint8_t lfClipPrecision;
    uint8_t lfQuality;
    uint8_t lfPitchAndFamily;
    char lfFaceName[32];
};
struct TIEWangMarkAttributes {
    int32_t uType;             // 1 image, 3 straight line, 4 freehand line, 7..10 text kinds, ...
    TIERect lrBounds;
    uint8_t rgbColor1[4];
    uint8_t rgbColor2[4];
    int32_t bHighlighting;
    int32_t bTransparent;
    int32_t uLineSize;
    int32_t uReserved1;
    int32_t uReserved2;
    TIEWangLogFont lfFont;
    int32_t bReserved3;
    int32_t Time;
    int32_t bVisible;
    int32_t dwReserved4;
    int32_t lReserved[10];
};
#pragma pack(pop)
static_assert(sizeof(TIEWangMarkAttributes) == 164, "the format's attribute record is 164 bytes");

// One mark: its attributes and, by mark type, its points (lines), its text (text kinds) and its
// image (embedded images); empty when absent.
class TIEImagingObject : public TObject {
public:
    KW_CLASS_NAME(TIEImagingObject)
    TIEImagingObject();
    ~TIEImagingObject() override;
    TIEImagingObject(const TIEImagingObject&) = delete;
    TIEImagingObject& operator=(const TIEImagingObject&) = delete;

    TIEWangMarkAttributes Attributes;
    std::vector<TIEPoint> Points;
    std::string Text;
    std::unique_ptr<TIEBitmap> Image;
};

class TIEImagingAnnot : public TObject {
public:
    KW_CLASS_NAME(TIEImagingAnnot)
    // Parent: the parameter set that owns the annotations (not owned).
    explicit TIEImagingAnnot(TObject* AParent = nullptr) : Parent(AParent) {}
    ~TIEImagingAnnot() override;
    TIEImagingAnnot(const TIEImagingAnnot&) = delete;
    TIEImagingAnnot& operator=(const TIEImagingAnnot&) = delete;

    void Clear();
    // Deep copies of Source's objects (attributes, points, text, image) replace this list's.
    void Assign(const TIEImagingAnnot* Source);
    // Appends the block's marks (Length 0 does nothing). A record that runs past Length ends the
    // load; the marks read until then are kept. The user-changed flag is cleared.
    void LoadFromBuffer(const void* Data, int32_t Length);
    // A new block owned by the caller; none and 0 when there are no objects.
    void SaveToBuffer(std::unique_ptr<uint8_t[]>& Data, int32_t& Length);

    int32_t GetCount() const { return static_cast<int32_t>(Objects.size()); }
    TIEImagingObject* GetObject(int32_t Index) const { return Objects[Index].get(); }
    // Appends an object and takes it over.
    void Add(TIEImagingObject* Obj) { Objects.emplace_back(Obj); }

    TObject* Parent;
    bool UserChanged = false;

private:
    std::vector<std::unique_ptr<TIEImagingObject>> Objects;
};
