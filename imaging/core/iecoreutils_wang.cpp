#include "iecoreutils_wang.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <map>

#include "CheckedMath.h"
#include "iebitmap.h"
#include "ieprochooks.h"
#include "iecoredefs_settings.h"

namespace {

// The resolution of the embedded images' DIBs.
constexpr int32_t kDIBDpi = 200;

int32_t GetI32(const uint8_t* P) {
    return static_cast<int32_t>(static_cast<uint32_t>(P[0]) | static_cast<uint32_t>(P[1]) << 8 |
                                static_cast<uint32_t>(P[2]) << 16 | static_cast<uint32_t>(P[3]) << 24);
}

void PutI32(std::vector<uint8_t>& Out, int32_t Value) {
    const uint32_t v = static_cast<uint32_t>(Value);
    for (int i = 0; i < 4; ++i) Out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

using TBlockSet = std::map<std::string, std::vector<uint8_t>>;

// ---- Embedded images: packed DIBs --------------------------------------------------------------

// A packed DIB (40-byte or larger header, colour table, rows bottom-up or top-down padded to 4
// bytes) of Size bytes as a bitmap: 1 bit as ie1g (set bits white), 4, 8, 24 and 32 bits
// uncompressed as ie24RGB. None when the header, the table or the rows do not fit Size, or for
// other layouts. The reader below takes a plain pointer and cannot see the block's length, so
// the layout is checked against Size here first.
std::unique_ptr<TIEBitmap> DIBToBitmap(const uint8_t* P, size_t Size) {
    if (Size < 40) return nullptr;
    const int32_t headerSize = GetI32(P);
    const int32_t width = GetI32(P + 4);
    const int32_t rawHeight = GetI32(P + 8);
    const int32_t bits = P[14] | P[15] << 8;
    const int32_t compression = GetI32(P + 16);
    const int32_t colorsUsed = GetI32(P + 32);
    if (headerSize < 40 || static_cast<size_t>(headerSize) > Size || width <= 0 || rawHeight == 0 ||
        rawHeight == INT32_MIN || compression != 0)
        return nullptr;
    if (bits != 1 && bits != 4 && bits != 8 && bits != 24 && bits != 32) return nullptr;
    const int32_t height = rawHeight > 0 ? rawHeight : -rawHeight;
    int64_t colors = 0;
    if (bits <= 8) {
        colors = colorsUsed > 0 && colorsUsed < (1 << bits) ? colorsUsed : (1 << bits);
        if (colorsUsed < 0) return nullptr;
    }
    int64_t rowBits, rowLen, pixelBytes, tableEnd, end;
    if (!Checked::Mul<int64_t>(width, bits, &rowBits)) return nullptr;
    rowLen = (rowBits + 31) / 32 * 4;
    if (!Checked::Mul<int64_t>(rowLen, height, &pixelBytes) ||
        !Checked::Add<int64_t>(headerSize, colors * 4, &tableEnd) ||
        !Checked::Add<int64_t>(tableEnd, pixelBytes, &end) || end > static_cast<int64_t>(Size))
        return nullptr;

    auto bmp = std::make_unique<TIEBitmap>();
    IEDIBToIEBitmapHook(P, bmp.get(), nullptr, true);
    if (bmp->IsEmpty() || bmp->GetWidth() != width || bmp->GetHeight() != height) return nullptr;
    // A 1-bit table whose first entry is the brighter one stores white as 0.
    const uint8_t* table = P + headerSize;
    if (bits == 1 && table[0] + table[1] + table[2] > table[4] + table[5] + table[6]) {
        const size_t n = static_cast<size_t>((width + 7) / 8);
        for (int32_t y = 0; y < height; ++y) {
            uint8_t* row = bmp->GetScanline(y);
            for (size_t i = 0; i < n; ++i) row[i] = static_cast<uint8_t>(~row[i]);
        }
    }
    return bmp;
}

// The bitmap as a packed DIB at 200 dpi: exactly the header, the colour table and the rows (the
// global block may be longer than asked for); empty when the memory cannot be had.
std::vector<uint8_t> BitmapToDIB(TIEBitmap* Bitmap) {
    void* block = IECopyBitmaptoDIBExHook(Bitmap, 0, 0, 0, 0, kDIBDpi, kDIBDpi);
    std::vector<uint8_t> out;
    if (!block) return out;
    const uint8_t* p = IEDIBGlobalLockHook(block);
    if (p) {
        const int32_t bits = p[14] | p[15] << 8;
        const size_t table = bits == 1 ? 8 : bits == 8 ? 1024 : 0;
        const size_t rowLen = (static_cast<size_t>(GetI32(p + 4)) * static_cast<size_t>(bits) + 31) / 32 * 4;
        const size_t size = std::min(IEDIBGlobalSizeHook(block), 40 + table + rowLen * static_cast<size_t>(GetI32(p + 8)));
        out.assign(p, p + size);
        IEDIBGlobalUnlockHook(block);
    }
    IEDIBGlobalFreeHook(block);
    return out;
}

// ---- Loading ---------------------------------------------------------------------------------

// Parses the named block at Pos into Set: false (Pos unchanged) when it runs past Size.
bool ParseNamedBlock(const uint8_t* P, size_t Size, size_t& Pos, size_t Extra, TBlockSet& Set) {
    if (!Checked::InRange<size_t>(Pos, 12 + Extra, Size)) return false;
    std::string name;
    for (size_t i = 0; i < 8 && P[Pos + i] != 0; ++i) name += static_cast<char>(P[Pos + i]);
    const int32_t dataSize = GetI32(P + Pos + 8);
    const size_t start = Pos + 12 + Extra;
    if (dataSize < 0 || !Checked::InRange<size_t>(start, static_cast<size_t>(dataSize), Size)) return false;
    Set[name].assign(P + start, P + start + dataSize);   // a later block of the same name replaces it
    Pos = start + static_cast<size_t>(dataSize);
    return true;
}

const std::vector<uint8_t>* FindBlock(const TBlockSet& Set, const char* Name) {
    const auto it = Set.find(Name);
    return it == Set.end() ? nullptr : &it->second;
}

// The font height of a text created at Scale, as shown at the format's scale 7500. A text
// created at 7500 (the scale the writer stores) or at 0 (taken as 7500) keeps its height: the
// two truncations would otherwise shrink it on every save and load (-12 to -7, then to 0).
int32_t RescaledFontHeight(int32_t Height, int32_t Scale) {
    if (Scale == 0 || Scale == 7500) return Height;
    const long double s = Scale;
    const long double h = std::trunc(1000.0L * Height / s);
    return IETruncToInt32(-std::trunc(-h * 7500 / 1000));
}

std::unique_ptr<TIEImagingObject> MakeObject(const TIEWangMarkAttributes& Attributes, const TBlockSet& Blocks) {
    auto obj = std::make_unique<TIEImagingObject>();
    obj->Attributes = Attributes;
    const int32_t type = Attributes.uType;
    if (type == 1) {
        if (const auto* dib = FindBlock(Blocks, "OiDIB")) obj->Image = DIBToBitmap(dib->data(), dib->size());
    } else if (type == 3 || type == 4) {
        // A 4-byte field (the allocated count), the point count and the points.
        const auto* data = FindBlock(Blocks, "OiAnoDat");
        if (data != nullptr && data->size() >= 8) {
            const int32_t count = GetI32(data->data() + 4);
            if (count > 0 && static_cast<size_t>(count) <= (data->size() - 8) / 8) {
                obj->Points.resize(static_cast<size_t>(count));
                for (int32_t i = 0; i < count; ++i) {
                    const uint8_t* p = data->data() + 8 + static_cast<size_t>(i) * 8;
                    obj->Points[i] = TIEPoint{GetI32(p), GetI32(p + 4)};
                }
            }
        }
    } else if (type >= 7 && type <= 10) {
        // Orientation, a reserved value, the creation scale, the text length, the text.
        const auto* data = FindBlock(Blocks, "OiAnText");
        if (data != nullptr && data->size() >= 16) {
            const int32_t scale = GetI32(data->data() + 8);
            const int32_t length = GetI32(data->data() + 12);
            const size_t room = data->size() - 16;
            const size_t limit = length < 0 ? 0 : std::min(room, static_cast<size_t>(length));
            const char* text = reinterpret_cast<const char*>(data->data() + 16);
            obj->Text.assign(text, strnlen(text, limit));
            obj->Attributes.lfFont.lfHeight = RescaledFontHeight(Attributes.lfFont.lfHeight, scale);
        }
    }
    return obj;
}

// ---- Saving ----------------------------------------------------------------------------------

void PutNamedBlock(std::vector<uint8_t>& Out, int32_t RecordType, const char* Name, const void* Data, size_t Size) {
    PutI32(Out, RecordType);
    PutI32(Out, 12);
    char name[8] = {};
    std::memcpy(name, Name, strnlen(Name, sizeof name));   // NUL-padded, not terminated
    Out.insert(Out.end(), name, name + 8);
    PutI32(Out, static_cast<int32_t>(Size));
    const uint8_t* p = static_cast<const uint8_t*>(Data);
    Out.insert(Out.end(), p, p + Size);
}

void PutNamedText(std::vector<uint8_t>& Out, int32_t RecordType, const char* Name, const std::string& Text) {
    PutNamedBlock(Out, RecordType, Name, Text.c_str(), Text.size() + 1);   // with its NUL
}

void PutNamedInts(std::vector<uint8_t>& Out, int32_t RecordType, const char* Name, const std::vector<int32_t>& Ints,
                  const std::string& Tail = std::string()) {
    std::vector<uint8_t> data;
    for (int32_t v : Ints) PutI32(data, v);
    data.insert(data.end(), Tail.begin(), Tail.end());
    PutNamedBlock(Out, RecordType, Name, data.data(), data.size());
}

}   // namespace

TIEImagingObject::TIEImagingObject() { std::memset(&Attributes, 0, sizeof Attributes); }
TIEImagingObject::~TIEImagingObject() = default;

TIEImagingAnnot::~TIEImagingAnnot() = default;

void TIEImagingAnnot::Clear() { Objects.clear(); }

void TIEImagingAnnot::Assign(const TIEImagingAnnot* Source) {
    if (Source == this) return;
    Clear();
    if (Source == nullptr) return;
    for (const auto& src : Source->Objects) {
        auto obj = std::make_unique<TIEImagingObject>();
        obj->Attributes = src->Attributes;
        obj->Points = src->Points;
        obj->Text = src->Text;
        if (src->Image) obj->Image.reset(new TIEBitmap(src->Image.get()));
        Objects.push_back(std::move(obj));
    }
}

void TIEImagingAnnot::LoadFromBuffer(const void* Data, int32_t Length) {
    if (Data == nullptr || Length <= 0) return;
    const uint8_t* p = static_cast<const uint8_t*>(Data);
    const size_t size = static_cast<size_t>(Length);
    if (size >= 8) {
        const size_t extra = GetI32(p + 4) == 0 ? 4 : 0;   // the 16-bit variant's 4 more bytes
        TBlockSet defaults, marks;
        TIEWangMarkAttributes pending;
        std::memset(&pending, 0, sizeof pending);
        auto commit = [&]() {
            if (pending.uType >= 1) Objects.push_back(MakeObject(pending, marks));
            pending.uType = 0;
        };
        size_t pos = 8;
        bool ok = true;
        while (ok && Checked::InRange<size_t>(pos, 8, size)) {
            const int32_t type = GetI32(p + pos);
            const int32_t recordSize = GetI32(p + pos + 4);
            pos += 8;
            switch (type) {
                case 2: ok = ParseNamedBlock(p, size, pos, extra, defaults); break;
                case 6: ok = ParseNamedBlock(p, size, pos, extra, marks); break;
                case 5:
                    commit();
                    marks.clear();
                    ok = Checked::InRange<size_t>(pos, sizeof pending, size);
                    if (ok) {
                        std::memcpy(&pending, p + pos, sizeof pending);
                        pos += sizeof pending;
                    }
                    break;
                default:
                    // Records this reader does not use are stepped over by their size.
                    ok = recordSize >= 0 && Checked::InRange<size_t>(pos, static_cast<size_t>(recordSize), size);
                    if (ok) pos += static_cast<size_t>(recordSize);
            }
        }
        commit();
    }
    UserChanged = false;
}

void TIEImagingAnnot::SaveToBuffer(std::unique_ptr<uint8_t[]>& Data, int32_t& Length) {
    Data.reset();
    Length = 0;
    if (Objects.empty()) return;
    std::vector<uint8_t> out;
    PutI32(out, 0);
    PutI32(out, 1);
    PutNamedText(out, 2, "OiGroup", "0");
    PutNamedText(out, 2, "OiIndex", "1");
    for (size_t i = 0; i < Objects.size(); ++i) {
        const TIEImagingObject& obj = *Objects[i];
        PutI32(out, 5);
        PutI32(out, static_cast<int32_t>(sizeof obj.Attributes));
        const uint8_t* a = reinterpret_cast<const uint8_t*>(&obj.Attributes);
        out.insert(out.end(), a, a + sizeof obj.Attributes);
        const int32_t type = obj.Attributes.uType;
        if (type == 1) {
            PutNamedInts(out, 6, "OiAnoDat",
                         {1, 1000, IEScreenDPIX, IEScreenDPIY, IEScreenDPIX, IEScreenDPIY, 0, 0, 0, 0, 0, 0, 0, 0});
            if (obj.Image && !obj.Image->IsEmpty()) {
                const std::vector<uint8_t> dib = BitmapToDIB(obj.Image.get());
                PutNamedBlock(out, 6, "OiDIB", dib.data(), dib.size());
            }
        } else if (type == 3 || type == 4) {
            const int32_t count = static_cast<int32_t>(obj.Points.size());
            std::vector<int32_t> ints = {count, count};
            for (const TIEPoint& pt : obj.Points) {
                ints.push_back(pt.X);
                ints.push_back(pt.Y);
            }
            PutNamedInts(out, 6, "OiAnoDat", ints);
        } else if (type >= 7 && type <= 10) {
            const std::string text = obj.Text.c_str();   // up to a NUL, as the format stores it
            PutNamedInts(out, 6, "OiAnText", {0, 1000, 7500, static_cast<int32_t>(text.size() + 1)},
                         std::string(text.c_str(), text.size() + 1));
        }
        PutNamedText(out, 6, "OiGroup", "0");
        PutNamedText(out, 6, "OiIndex", std::to_string(i));
    }
    int32_t length;
    if (!Checked::Cast(out.size(), &length)) throw EOutOfMemory(L"Out of memory");
    Data.reset(new uint8_t[out.size()]);
    std::memcpy(Data.get(), out.data(), out.size());
    Length = length;
}
