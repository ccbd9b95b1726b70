#include "core/console_settings.h"

int message_lines = 5;
int spam_filter = 1;
