#pragma once
// bkdata's subcommands. Each takes the arguments after its name and returns
// the process exit code: 0 done, 1 failed, 2 bad usage.

struct bkdata_command {
  const char* name;
  const char* usage;  // the arguments, for the usage text
  int (*run)(int argc, char** argv);
};

// Ends with an entry whose name is null.
extern const bkdata_command bkdata_commands[];

// Prints the usage text to stderr and returns 2.
int bkdata_usage();

int bkdata_digest(int argc, char** argv);
int bkdata_check(int argc, char** argv);
int bkdata_track(int argc, char** argv);
// Loads a track folder's terrain and tiles; prints a summary or the refusal.
// The exit code: 0 loaded, 1 refused.
int bkdata_check_track(const char* folder);
