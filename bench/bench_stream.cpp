// Text parsing through streams: the same track-style lines read from a plain
// file and from its gzip form. The gzip figure against the plain one shows
// what decompression adds to byte-wise scanning.
#include <benchmark/benchmark.h>
#include <zlib.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "core/file.h"
#include "core/stream.h"

static std::string lines_text() {
  std::string text;
  char line[128];
  for (int i = 0; i < 20000; ++i) {
    std::snprintf(line, sizeof line, "[ %d.25 %d.5 -%d.125 ] %d.75 0.5 statue%d.jm\n", i, i * 3, i % 97, i % 13, i % 7);
    text += line;
  }
  return text;
}

static std::string write_fixtures() {
  static std::string dir;
  if (!dir.empty()) return dir;
  char tmpl[] = "/tmp/bk_bench_stream_XXXXXX";
  dir = mkdtemp(tmpl);
  const std::string text = lines_text();
  FILE* f = std::fopen((dir + "/plain.txt").c_str(), "wb");
  std::fwrite(text.data(), 1, text.size(), f);
  std::fclose(f);
  gzFile g = gzopen((dir + "/packed.txt.gz").c_str(), "wb");
  gzwrite(g, text.data(), static_cast<unsigned>(text.size()));
  gzclose(g);
  return dir;
}

static void scan_file(benchmark::State& state, const char* name) {
  const std::string path = write_fixtures() + "/" + name;
  int64_t bytes = 0;
  for (auto _ : state) {
    stream* s = stream_open(path.c_str(), "rb");
    if (!s) {
      state.SkipWithError("can't open fixture");
      return;
    }
    float x, y, z, w, v;
    char model[64];
    int lines = 0;
    while (stream_scanf(s, "[ %f %f %f ] %f %f %63s ", &x, &y, &z, &w, &v, model) == 6) ++lines;
    bytes += s->position;
    benchmark::DoNotOptimize(lines);
    stream_close(s);
  }
  state.SetBytesProcessed(bytes);
}

static void bm_scan_plain(benchmark::State& state) { scan_file(state, "plain.txt"); }
static void bm_scan_gzip(benchmark::State& state) { scan_file(state, "packed.txt"); }
BENCHMARK(bm_scan_plain)->Unit(benchmark::kMillisecond);
BENCHMARK(bm_scan_gzip)->Unit(benchmark::kMillisecond);

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  const std::string dir = write_fixtures();
  std::remove((dir + "/plain.txt").c_str());
  std::remove((dir + "/packed.txt.gz").c_str());
  std::remove(dir.c_str());
  return 0;
}
