// The native build has no Internet client library: nothing is bound and every download fails.
#include "picturaio_url.h"

bool IEDownloadURL(const std::wstring&, TMemoryStream*, const std::wstring&, std::wstring&, std::atomic<bool>*,
                   TObject*, const TIEProgressEvent&, const std::wstring&, const std::wstring&) {
    return false;
}

void IEBindWinInet() {}
void IEUnbindWinInet() {}
bool IEWinInetBound() { return false; }
