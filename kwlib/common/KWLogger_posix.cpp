// The logger's native half: no debug viewer and no debugger output; the flush clock is the
// monotonic clock in milliseconds, wrapping at 32 bits as the Windows one does.
#include "KWLogger.h"

#include <chrono>

void KWDebugOutput(const std::wstring&) {}
void KWSendToDebugWindow(const std::wstring&) {}
bool KWViewerActive() { return false; }
void KWProbeDebugViewer() {}
void KWLowerLoggerThreadPriority() {}

uint32_t KWLogTickCount() {
    const auto now = std::chrono::steady_clock::now().time_since_epoch();
    return (uint32_t)std::chrono::duration_cast<std::chrono::milliseconds>(now).count();
}
