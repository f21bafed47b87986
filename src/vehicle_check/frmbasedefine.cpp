#include "frmbasedefine.h"
