// Installs the processing routines into the procedure variables through which the lower image
// folders call them (ieprochooks.h). IEStaticInitialize runs it before its set-up steps; a program
// that uses the image library without that start-up (a test, a tool) runs it itself. It may run
// any number of times, and the routines stay installed after the library's shut-down.
#pragma once

void IEInstallPicturaProcHooks();
