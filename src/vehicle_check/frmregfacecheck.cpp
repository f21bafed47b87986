#include "frmregfacecheck.h"
