// The in-house base unit: flat utility functions used across the library and by the installer.
// The unit is large, so its declarations live in one header per topic; include this one.
#pragma once
#include "KWCommonLib_strings.h"   // dates, strings and paths
#include "KWCommonLib_files.h"     // files, folders and drives
#include "KWCommonLib_shell.h"     // shell, windows, messages and system
#include "KWCommonLib_folders.h"   // shell folders and the special-folder test
#include "KWCommonLib_temp.h"      // temporary names and the self-deleting batch file
#include "KWCommonLib_system.h"    // shortcuts, OS version, shell, message boxes, pump, versions
#include "KWCommonLib_objects.h"   // published object properties set by name
