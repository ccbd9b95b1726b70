#pragma once
// Console settings that the front end shows and saves but the message ring
// reads. The front end's settings items point at these variables.

// The most console lines shown on screen at once.
extern int message_lines;

// Whether lines marked "[SPAM]" are dropped; on at start, flipped by the
// "togglespam" console command.
extern int spam_filter;
