#pragma once
// File-name suffix swapping ("a.png" -> "a.info").

// text without its trailing `suffix`, followed by `replacement`, in a new
// string freed with check_free; null when text does not end in suffix
// (exact, case-sensitive).
char* replace_suffix(const char* text, const char* suffix, const char* replacement);
