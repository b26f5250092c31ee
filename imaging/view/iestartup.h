// The image library's library-wide start-up and shut-down. IEStaticInitialize runs the set-up
// step of every image unit in a fixed order (the first call only; later calls count),
// IEStaticFinalize the tear-down steps in the reverse order (the call that brings the count back
// to 0 only). Both are serialised by one lock. They sit above every image folder, since they reach
// the steps of all of them.
#pragma once
#include <cstdint>
#include <string>

void IEStaticInitialize();
// Does nothing when the library was never started.
void IEStaticFinalize();

// "STATICINIT" while the counter and the lock exist, empty otherwise.
extern std::string IEStaticInitGuard;
// IEStaticInitialize calls not yet matched by IEStaticFinalize.
extern int32_t IEStaticInitCount;

// Called with each set-up and tear-down step's name just before the step runs, when set (the
// start-up's tests follow the order through it).
using IEStartupStepHook = void (*)(const char* StepName);
extern IEStartupStepHook IEStartupTrace;

// Registers the unit's start-up (IEStaticInitialize) and shut-down (IEStaticFinalize) with the
// program's ordered unit start-up, at the image library's rank.
void iecoreutils_Register();
