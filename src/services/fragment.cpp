#include "fragment.h"
