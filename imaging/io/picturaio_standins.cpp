#include "picturaio_standins.h"

#include "picturaio_params.h"

