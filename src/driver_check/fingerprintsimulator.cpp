#include "fingerprintsimulator.h"
