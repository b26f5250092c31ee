#include "CommonConst.h"

#include "KWCommonLib.h"
#include "UnitInit.h"

std::wstring UserMakerDir;
std::wstring UserProductDir;
std::wstring UserEditionDir;
std::wstring CommonMakerDir;
std::wstring CommonProductDir;
std::wstring CommonEditionDir;

namespace {

// Maker, product and edition folders under ABase; all three stay '' when the shell does not know
// the base folder, rather than becoming paths relative to the current folder.
void SetFolders(const std::wstring& ABase, std::wstring& AMaker, std::wstring& AProduct, std::wstring& AEdition) {
    AMaker.clear();
    AProduct.clear();
    AEdition.clear();
    if (ABase.empty()) return;
    AMaker = KWCombinePath({ABase, L"ORVANE"});
    AProduct = KWCombinePath({AMaker, L"lumi-vera"});
    AEdition = KWCombinePath({AProduct, L"Quillbox"});
}

}  // namespace

void CommonConst_Initialize() {
    SetFolders(KWGetLocalAppDataDir(), UserMakerDir, UserProductDir, UserEditionDir);
    SetFolders(KWGetCommonAppDataDir(), CommonMakerDir, CommonProductDir, CommonEditionDir);
}

void CommonConst_Register() { RegisterUnit(L"CommonConst", urInstallerConst, CommonConst_Initialize, nullptr); }
