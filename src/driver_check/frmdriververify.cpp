#include "frmdriververify.h"
