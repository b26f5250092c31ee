// Helpers of the native tests: a scratch folder named the way the engine sees paths (Wine's
// shape: drive Z: is the root, "\" separates folders).
#pragma once
#include "support/TestSupport.h"

namespace nativetest {

using testsupport::TScratchDir;

}  // namespace nativetest
