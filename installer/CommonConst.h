// The installer's constant unit: the per-user and all-users data folders of the maker, the product
// and this edition, set once at start-up and read-only afterwards. Every path ends with "\".
// Nothing is created on disk here.
#pragma once
#include <string>

extern std::wstring UserMakerDir;       // <local application data>\ORVANE\ .
extern std::wstring UserProductDir;     // UserMakerDir + "lumi-vera\"
extern std::wstring UserEditionDir;     // UserProductDir + "Quillbox\"
extern std::wstring CommonMakerDir;     // <all users' application data>\ORVANE\ .
extern std::wstring CommonProductDir;   // CommonMakerDir + "lumi-vera\"
extern std::wstring CommonEditionDir;   // CommonProductDir + "Quillbox\"

// The unit's start-up: fills the six folders from the shell's special folders.
void CommonConst_Initialize();
// Registers the start-up with the unit registry (the program entry calls it).
void CommonConst_Register();
