#include "commcontrol.h"
