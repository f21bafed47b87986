#include "checklists.h"
