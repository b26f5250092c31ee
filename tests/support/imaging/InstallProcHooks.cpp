// Linked into the test and fuzz programs of the image library, which call its routines without
// the library's start-up (IEStaticInitialize): the processing routines are installed before main,
// so the buffer, the codecs and the I/O component reach them as they do in the product.
#include "picturaproc_hooks.h"

namespace {

[[maybe_unused]] const bool kProcHooksInstalled = (IEInstallPicturaProcHooks(), true);

}  // namespace
