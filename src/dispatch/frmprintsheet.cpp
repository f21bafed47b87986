#include "frmprintsheet.h"
