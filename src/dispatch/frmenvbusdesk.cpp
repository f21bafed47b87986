#include "frmenvbusdesk.h"
