#include "checkservice.h"
