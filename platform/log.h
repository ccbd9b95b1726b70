#pragma once
// The platform log: one line per message, time-stamped, written to the file
// named by PAVO_LOGFILE. Safe to call from any thread.

#if defined(__GNUC__)
#define BK_PRINTF_LIKE(f, a) __attribute__((format(printf, f, a)))
#else
#define BK_PRINTF_LIKE(f, a)
#endif

// printf-style message into the log. A null format closes the log. The
// first message of the process sets the log up: "PAVO_LOGFILE=path" names
// the file (unless the environment already does) and is not written itself.
int log_printf(const char* format, ...) BK_PRINTF_LIKE(1, 2);

// Closes the log; later messages are dropped and the log never reopens.
void log_close();

// Logs "Error: text" and remembers the text (the pointer, not a copy).
void log_error(const char* text);

// The last text given to log_error, or "Unknown".
const char* log_last_error();

// Forget everything (file, set-up, last error) so the next message sets the
// log up again. Tests only: the game never reopens its log.
void log_reset_for_tests();
