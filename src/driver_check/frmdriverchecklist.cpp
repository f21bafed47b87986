#include "frmdriverchecklist.h"
