#include "core/running_order.h"

running_order_state running_order;

void running_order_clear() { running_order.count = 0; }
