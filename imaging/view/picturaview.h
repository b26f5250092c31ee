// Set-up of the viewer unit (stand-in: the default resolution, the remote-session and MMX flags
// and the pixel-grid zoom threshold; the screen metrics and the shared pen come with the viewer).
#pragma once
#include <cstdint>

// The resolution that codecs give an image whose file carries none: 300 x 300 after the set-up.
extern int32_t IEDefaultDPIX;
extern int32_t IEDefaultDPIY;
extern bool IEGlobalRemoteSession;
extern bool IEGlobalHasMMX;
// Private messages posted to a viewer by work running on other threads; the viewer handles them on
// the thread that owns its window. IEMSG_PROGRESS carries the percentage in wParam.
constexpr uint32_t IEMSG_UPDATE = 0x1F58;
constexpr uint32_t IEMSG_DSHOW_FRAME = 0x1F59;
constexpr uint32_t IEMSG_DSHOW_EVENT = 0x1F5A;
constexpr uint32_t IEMSG_PROGRESS = 0x1F5B;
constexpr uint32_t IEMSG_FINISHWORK = 0x1F5C;

// The zoom (per cent) from which the viewer draws the pixel grid.
extern int32_t IEPixelGridZoomThreshold;

void IEPicturaViewInitialize();
void IEPicturaViewFinalize();

class TStream;
// A layers stream at the position: "PICTURALAYERS" and a version above 0. The position is restored.
bool IEIsLayersStream(TStream* Stream);
