#pragma once
// The temporary folder this test run owns (HOME, XDG_DATA_HOME and BK_HOME
// point inside it).
const char* test_root();
