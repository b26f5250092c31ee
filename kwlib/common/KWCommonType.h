// Records and constant tables shared by the in-house units: folder-listing entries, measured text
// lines and the value names of the shell-folder registry key.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

// One entry of a folder listing.
struct TKWFile {
    std::wstring Name;     // full path: the listed folder + the entry's name
    int64_t Size = 0;      // bytes; 0 for folders
    double Time = 0;       // last write, local time, 2-second DOS resolution; NaN when not convertible
    bool IsFolder = false;
    int32_t Attr = 0;      // file attributes as the listing reported them
};

using TKWFiles = std::vector<TKWFile>;

// Appends one entry and returns its index.
int32_t KWAddFile(TKWFiles& AFiles, const std::wstring& AName, bool AIsFolder, int64_t ASize,
                  double ATime, int32_t AAttr);

// One measured line of text.
struct TKWLineExtent {
    std::wstring Text;
    int32_t Width = 0;
    int32_t Height = 0;
};

using TKWLineExtents = std::vector<TKWLineExtent>;

// The value names under "...\Explorer\Shell Folders", in the order the special-folder test uses.
constexpr int KWShellFolderNameCount = 17;
extern const wchar_t* const KWShellFolderNames[KWShellFolderNameCount];
