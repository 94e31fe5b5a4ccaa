#include "Unithread.h"
