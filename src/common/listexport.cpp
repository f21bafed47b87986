#include "listexport.h"
