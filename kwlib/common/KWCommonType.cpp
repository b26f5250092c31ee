#include "KWCommonType.h"

int32_t KWAddFile(TKWFiles& AFiles, const std::wstring& AName, bool AIsFolder, int64_t ASize,
                  double ATime, int32_t AAttr) {
    TKWFile f;
    f.Name = AName;
    f.Size = ASize;
    f.Time = ATime;
    f.IsFolder = AIsFolder;
    f.Attr = AAttr;
    AFiles.push_back(std::move(f));
    return static_cast<int32_t>(AFiles.size() - 1);
}

const wchar_t* const KWShellFolderNames[KWShellFolderNameCount] = {
    L"AppData",  L"Cache",     L"Cookies",  L"Desktop",    L"Favorites", L"Fonts",
    L"History",  L"Local AppData", L"NetHood", L"Personal", L"PrintHood", L"Programs",
    L"Recent",   L"SendTo",    L"Start Menu", L"Startup",  L"Templates",
};
