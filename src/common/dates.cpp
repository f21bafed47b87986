#include "dates.h"
