#pragma once
#include <string>

// The temporary folder this test run owns (HOME, XDG_DATA_HOME and BK_HOME
// point inside it).
const char* test_root();

// The whole content of a file ("" when it cannot be read).
std::string test_read_file(const std::string& path);
