#include "database.h"
