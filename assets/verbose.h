#pragma once
// How chatty the loaders are: 0 by default, 1 with "--debug", 2 with
// "--super-debug". Any nonzero value prints what failed to open and what
// was freed.
extern int verbose;
