#include "schema.h"
