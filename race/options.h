#pragma once
// The command line: 45 options written "--name" (valued ones also
// "--name=value" or "--name value"), "--" to end the options, and at most one
// further argument, a demo file to play.
//
// The parser writes straight into the variables the options set (game_state,
// loop_options, the race settings, the detail values of the lower
// libraries) and leaves in the command_line record what main acts on during
// start-up or applies to the front end's items after the parse.

struct arg_cursor {
  int remaining;       // arguments not yet consumed
  char** next;         // the argument at the cursor
  int end_of_options;  // "--" was seen
};

// A cursor over argv[1 .. argc - 1].
void arg_cursor_init(arg_cursor* cursor, int argc, char** argv);

// 1 when the argument at the cursor is option `name`, consuming it. A flag
// option (value null) must match exactly. A valued option takes "name value"
// (the next argument, even one beginning with "-") or "name=value"; a name
// with no argument after it matches with *value null. For a valued option
// the argument "--" sets the end of options, is consumed and gives 0.
int match_option(arg_cursor* cursor, const char* name, const char** value);

enum command_line_status {
  command_line_ok = 0,
  command_line_error = 1,      // message holds the line for standard error
  command_line_open_home = 2,  // "--open-home": open the per-user folder, end
};

// What the parse leaves for main. Zero (or the given defaults) means the
// option was not given.
struct command_line {
  int status;
  char message[160];   // the error line, newline included
  char notice[160];    // a line for standard error that does not stop the run
  int nosound;
  int depth, zdepth;   // colour and depth-buffer bits, 16 unless given
  const char* track;   // "--track" (also the track_dir to load)
  const char* server;  // "--connect" without its link prefix
};

enum {
  window_size_max = 16384,
  connect_name_max = 126,  // the server item and history hold 127 bytes
};

// Parses argv[1 ..] in the options' table order. Stops at the first error
// (status command_line_error) or at "--open-home".
void parse_command_line(int argc, char** argv, command_line* out);

enum { server_history_entries = 16, server_name_size = 127 + 1 };

// "--connect" on the server history: unless the name is empty or already
// entry 0, the entries move down one (the last is lost) and the name
// becomes entry 0. 1 when it did (the history's selection then no longer
// stands for what it did), else 0.
int server_history_push(char (*history)[server_name_size], const char* name);
