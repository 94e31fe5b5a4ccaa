#include "Unicommon.h"
