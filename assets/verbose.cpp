#include "assets/verbose.h"

int verbose = 0;
