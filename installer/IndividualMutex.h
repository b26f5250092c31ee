// The single-instance guard: a named system mutex, and a window property of the same name on the
// application window by which a second instance finds the first and brings it forward.
#pragma once
#include <string>

// The name of the mutex and of the window property.
extern const wchar_t* const IndividualMutexName;   // "ORVANE_LUMIVERA_QUILLBOX_INSTALLER"

// Walks every top-level window in z-order; each one whose property AGuardName holds 1 is restored
// when minimised and its last active pop-up is brought to the foreground. True when at least one
// window matched.
bool ActivateRunningInstance(const std::wstring& AGuardName);

// The guard's work at start-up, without ending the process: when the mutex exists already, the
// running instance is brought forward and the result is false; otherwise the mutex is created and
// held, the property is set on the application window (KWGetApplicationWindow) and the result is
// true.
bool IndividualMutex_Acquire();
// Removes the property from the application window and releases the mutex (when held).
void IndividualMutex_Release();

// The unit's start-up: IndividualMutex_Acquire, ending the process silently when another instance
// runs. Shut-down: IndividualMutex_Release.
void IndividualMutex_Initialize();
void IndividualMutex_Finalize();
// Registers both with the unit registry, as the last unit to start (the program entry calls it).
void IndividualMutex_Register();
