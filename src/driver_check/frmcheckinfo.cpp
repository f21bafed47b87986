#include "frmcheckinfo.h"
