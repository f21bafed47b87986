#include "gridhelpers.h"
