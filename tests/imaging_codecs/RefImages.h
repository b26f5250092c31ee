// The corpora and reference pixels that make_png_ico_refs.py wrote before the tests ran: files of
// tools no one here wrote, and Pillow's decoding of each (red, green, blue, alpha per pixel).
#pragma once
#include <cstdint>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

namespace refimages {

inline const std::string& Folder() {
    static const std::string folder = std::string(TEST_BUILD_DIR) + "/png-ico-refs/";
    return folder;
}

inline std::string ReadFile(const std::string& Path) {
    std::ifstream in(Path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

struct TRef {
    int32_t Width = 0;
    int32_t Height = 0;
    std::string RGBA;   // rows top to bottom
    bool Valid() const { return Width > 0 && RGBA.size() == (size_t)Width * Height * 4; }
    const uint8_t* At(int32_t X, int32_t Y) const {
        return reinterpret_cast<const uint8_t*>(RGBA.data()) + ((size_t)Y * Width + X) * 4;
    }
};

inline TRef LoadRef(const std::string& Name) {
    TRef ref;
    const std::string data = ReadFile(Folder() + Name);
    const size_t nl = data.find('\n');
    if (nl == std::string::npos) return ref;
    std::istringstream head(data.substr(0, nl));
    head >> ref.Width >> ref.Height;
    ref.RGBA = data.substr(nl + 1);
    return ref;
}

// The lines of index.txt: kind, file name and the third field.
struct TIndexLine {
    std::string Kind, Name, Value;
};

inline std::vector<TIndexLine> LoadIndex() {
    std::vector<TIndexLine> lines;
    std::istringstream in(ReadFile(Folder() + "index.txt"));
    TIndexLine l;
    while (in >> l.Kind >> l.Name >> l.Value) lines.push_back(l);
    return lines;
}

}  // namespace refimages
