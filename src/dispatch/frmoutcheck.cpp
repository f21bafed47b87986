#include "frmoutcheck.h"
