#include "frmtechcheck.h"
