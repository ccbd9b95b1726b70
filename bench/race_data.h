#pragma once
// Data set-up shared by the benchmarks that race on the generated data.

// Points BK_HOME at the build's gamedata/ beside the benchmark program
// unless the caller set it.
void bench_default_data_root();

// For headless races: the data root as above, a per-user folder of its own
// under /tmp (named after tag) so nothing reaches the real one, texture
// names given ids without GL, the file index and the dynamics world.
// Once per process; 1 when everything opened.
int bench_open_headless_data(const char* tag);
