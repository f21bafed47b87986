#include "driverservice.h"
