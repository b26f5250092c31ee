// Library-wide settings that every image folder reads and the set-up fills (the viewer's set-up
// writes them), and the private messages that work on other threads posts to a viewer.
#pragma once
#include <cstdint>

// The resolution that codecs give an image whose file carries none: 300 x 300 after the set-up.
extern int32_t IEDefaultDPIX;
extern int32_t IEDefaultDPIY;
extern bool IEGlobalRemoteSession;
extern bool IEGlobalHasMMX;
// The screen's resolution in dots per inch: 96 until the viewer's start-up reads the screen's.
extern int32_t IEScreenDPIX;
extern int32_t IEScreenDPIY;
// Private messages posted to a viewer by work running on other threads; the viewer handles them on
// the thread that owns its window. IEMSG_PROGRESS carries the percentage in wParam.
constexpr uint32_t IEMSG_UPDATE = 0x1F58;
constexpr uint32_t IEMSG_DSHOW_FRAME = 0x1F59;
constexpr uint32_t IEMSG_DSHOW_EVENT = 0x1F5A;
constexpr uint32_t IEMSG_PROGRESS = 0x1F5B;
constexpr uint32_t IEMSG_FINISHWORK = 0x1F5C;
