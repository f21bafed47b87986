#include "frmdriververifysingle.h"
