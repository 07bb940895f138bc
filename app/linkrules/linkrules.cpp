#include "linkrules.h"
