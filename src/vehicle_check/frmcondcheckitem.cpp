#include "frmcondcheckitem.h"
