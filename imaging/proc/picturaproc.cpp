#include "picturaproc.h"

#include <cstring>

#include "iecoreutils_threads.h"

uint8_t IE1To24Table[256][24];
std::vector<TIEFilterRecord> IEPresetFilters;
std::vector<std::wstring> IEPresetFilterNames;
uint32_t IERawClipboardFormat = 0;

void IEBuild1To24Table() {
    for (int32_t v = 0; v < 256; ++v)
        for (int32_t bit = 0; bit < 8; ++bit) std::memset(&IE1To24Table[v][bit * 3], (v & (0x80 >> bit)) ? 255 : 0, 3);
}

namespace {

struct TPresetFilter {
    const wchar_t* Name;
    TIEFilterRecord Filter;
};

const TPresetFilter kPresetFilters[] = {
    {L"None", {{{0, 0, 0}, {0, 1, 0}, {0, 0, 0}}, 0}},
    {L"Blur", {{{1, 1, 1}, {1, 1, 1}, {1, 1, 1}}, 9}},
    {L"Edges", {{{1, 1, 1}, {1, -8, 1}, {1, 1, 1}}, 1}},
    {L"Emboss", {{{-1, 0, 1}, {-1, 1, 1}, {-1, 0, 1}}, 1}},
    {L"High Pass 1", {{{0, -1, 0}, {-1, 5, -1}, {0, -1, 0}}, 1}},
    {L"High Pass 2", {{{-1, -1, -1}, {-1, 9, -1}, {-1, -1, -1}}, 1}},
    {L"High Pass 3", {{{1, -2, 1}, {-2, 5, -2}, {1, -2, 1}}, 1}},
    {L"Low Pass 1", {{{1, 1, 1}, {1, 1, 1}, {1, 1, 1}}, 10}},
    {L"Low Pass 2", {{{1, 2, 1}, {2, 4, 2}, {1, 2, 1}}, 16}},
};

}  // namespace

void IEInitializePicturaProc() {
    IEBuild1To24Table();
    IEPresetFilters.clear();
    IEPresetFilterNames.clear();
    for (const TPresetFilter& p : kPresetFilters) {
        IEPresetFilters.push_back(p.Filter);
        IEPresetFilterNames.push_back(p.Name);
    }
    IERawClipboardFormat = IERegisterClipboardFormat(L"PICTURA RAW FORMAT");
}

void IEFinalizePicturaProc() {
    IEPresetFilters.clear();
    IEPresetFilterNames.clear();
}
