#include "frmdriverlist.h"
