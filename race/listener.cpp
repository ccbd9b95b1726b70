// The listener record; the views fill it when they draw.
#include "race/listener.h"

listener_record listener = {{0, 0, 0}, {1, 0, 0, 0, 1, 0, 0, 0, 1}, {0, 0, 0}};
