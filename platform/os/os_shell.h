#pragma once
// Where the user's data and the program live, and handing a folder to the
// desktop: the few shell services the file layer needs.
#include <cstddef>

// The user's local data folder without a trailing "/": $XDG_DATA_HOME when
// it is set to an absolute path, else $HOME/.local/share. 1 and the text in
// buffer, or 0 when neither is known or it does not fit.
int os_local_data_folder(char* buffer, size_t size);

// The running executable's full path. 1 and the text in buffer, or 0 when it
// cannot be read or does not fit (never a cut-off path).
int os_executable_path(char* buffer, size_t size);

// Opens the folder in the desktop's file manager (xdg-open) and waits for
// the opener to return. 1 when the opener ran and reported success.
int os_open_folder(const char* path);
