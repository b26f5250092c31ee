// The containers of the image parameter set come from the core: the ICC profile, the marker and IPTC
// lists, the maker-note handler and the EXIF block probe. Platform-neutral.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "Classes.h"
#include "iecoreutils_icc.h"
#include "iecoreutils_exif.h"
#include "iecoreutils_markers.h"
#include "iecoreutils_tiffhandler.h"
