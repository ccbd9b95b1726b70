#pragma once
#include <string>

// The temporary folder this test run owns (HOME, XDG_DATA_HOME and BK_HOME
// point inside it).
const char* test_root();

// The whole content of a file ("" when it cannot be read).
std::string test_read_file(const std::string& path);

// The data generator built beside this test program ("bkdata").
std::string test_bkdata_program();
// Runs "bkdata ARGS" with its output discarded; true when it exits 0.
bool test_run_bkdata(const std::string& args);

// Points the platform log at a fresh file named for the running test and
// starts it anew; returns the file's path.
std::string test_log_begin();
// Closes the log and returns everything written to it since test_log_begin.
std::string test_log_text();
// Resets the log and forgets the file, so the next test starts clean.
void test_log_end();
