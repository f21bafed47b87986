#include "sqlliteral.h"
