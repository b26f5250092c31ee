// The explicit, ordered start-up and shut-down of the program's units. Each unit registers its
// start-up and shut-down steps under its name and a rank; InitializeUnits runs the start-ups by
// rank, FinalizeUnits runs the shut-downs of the units that started, in the reverse order.
//
// Register from code that is sure to run (the program entry, or a registration function that the
// entry calls): a registering object at namespace scope in a static library is dropped by the
// linker when nothing else in its object file is used.
#pragma once
#include <cstdint>
#include <functional>
#include <string>

// Ranks, in the order the units start. Units of one group that depend on one another take
// consecutive ranks from the group's base (urZipEngine + 1, ...); units of equal rank start in
// the order they registered.
constexpr int32_t urZipEngine = 1000;         // string formats, cipher, hash registry, case tables, lock
constexpr int32_t urKWCrc32 = 2000;           // the in-house library: CRC-32 table self-test
constexpr int32_t urKWTempNames = 2100;       //   random seeding for temporary names
constexpr int32_t urKWLogger = 2200;          //   debug-viewer probe and the global logger
constexpr int32_t urKWPrinter = 2300;         //   the global printer object
constexpr int32_t urInstallerConst = 3000;    // the installer's constant unit (data-folder paths)
constexpr int32_t urImageLibrary = 4000;      // the image library's library-wide set-up
constexpr int32_t urFolderBrowse = 5000;      // the folder-browse unit (OLE initialisation)
constexpr int32_t urSingleInstance = 6000;    // last: the single-instance guard

using TUnitProc = std::function<void()>;

// Adds a unit; either step may be empty. False (and nothing changes) when a unit of that name is
// registered already.
bool RegisterUnit(const std::wstring& Name, int32_t Rank, TUnitProc Startup, TUnitProc Shutdown);

// Runs, by rank, the start-up of every registered unit that has not started yet; each unit starts
// at most once. An exception from a start-up stops the run and propagates; the units started
// before it count as started, the failing one does not.
void InitializeUnits();

// Runs the shut-down of every started unit, the last started first; each unit shuts down at most
// once. Every shut-down runs even when an earlier one raises; the first exception is raised again
// at the end.
void FinalizeUnits();

// Shuts the units down (ignoring their exceptions) and ends the process with ExitCode.
[[noreturn]] void Halt(int32_t ExitCode);

// The names of the started units, in the order they started.
std::wstring StartedUnits();
