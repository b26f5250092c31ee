// The preset images: four small frame pictures carried as PNG files inside the library, each with
// the rectangle inside it where a picture is meant to go. The list exists from the library's
// start-up (IEInitializePresetImages) to its shut-down (IEFinalizePresetImages).
#pragma once
#include <cstdint>

#include "Classes.h"

// One preset picture. The PNG data is constant data of the program (never copied or freed).
class TIEPresetImage : public TObject {
public:
    KW_CLASS_NAME(TIEPresetImage)
    int32_t Size = 0;
    const uint8_t* Data = nullptr;
    int32_t FileType = 8;   // a TIOFileType: PNG
    // The inner rectangle: left and top inclusive, right and bottom exclusive.
    int32_t Left = 0;
    int32_t Top = 0;
    int32_t Right = 0;
    int32_t Bottom = 0;
};

// Creates the list and appends the four records (white rounded panel, blue film strip,
// spiral-bound notebook page, grey-blue bevelled frame). A second call makes the list anew.
void IEInitializePresetImages();
// Frees every record and the list.
void IEFinalizePresetImages();

// The number of records in the list (0 outside start-up and shut-down) and record Index
// (nullptr when out of range).
int32_t IEPresetImageCount();
TIEPresetImage* IEGetPresetImage(int32_t Index);

// The PNG file of preset picture Index (0..3) and its size in bytes; nullptr and 0 for any other
// index. Drawn at build time by tools/embed/make_preset_images.py.
const uint8_t* IEPresetImagePNG(int32_t Index, int32_t& Size);
