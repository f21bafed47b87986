#include "coreservices.h"
