#include "grid.h"
