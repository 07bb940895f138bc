#include "scan.h"
