#pragma once
// The message for a fatal path.
#include "platform/log.h"

// Formats the text (at most 1023 characters), writes title and text to
// standard error and to the log, and shows a modal message box when someone
// can see and answer it (a display, and a terminal or BK_ERROR_BOX=1). It
// never blocks a run without a display or under test.
void error_box(const char* title, const char* format, ...) BK_PRINTF_LIKE(2, 3);
