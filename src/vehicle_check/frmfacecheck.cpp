#include "frmfacecheck.h"
