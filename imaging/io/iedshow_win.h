// The seam through which the Windows DirectShow graph makes its COM objects (the filter graph, the
// capture graph builder and every filter): the system's CoCreateInstance by default. Tests install
// fakes to follow how capture, crossbar and DVD graphs are built where no such device exists.
#pragma once

#include <windows.h>

using TIEDShowCreateInstance = HRESULT (*)(REFCLSID Class, REFIID Iid, void** Object);
extern TIEDShowCreateInstance IEDShowCreateInstance;
