#include "checknotifier.h"
