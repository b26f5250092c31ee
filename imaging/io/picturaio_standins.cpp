#include "picturaio_standins.h"

#include "picturaio_params.h"

// The component's unit is not built yet: no owner has a work bitmap or an attached viewer.
bool IEParamsOwnerBitmapSize(TPicturaIO* Owner, int32_t& Width, int32_t& Height) { return false; }
void IEParamsOwnerDpiChanged(TPicturaIO* Owner, bool Vertical, int32_t Value) {}
