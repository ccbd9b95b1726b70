// The game's scanf over the patterns its readers use. The first byte picks
// the pattern; the rest is the text, scanned until the pattern stops
// matching.
#include <cstring>

#include "core/file.h"
#include "fuzz/fuzz_target.h"

BK_FUZZ_TARGET(scanner) {
  if (size < 1) return 0;
  const std::string path = fuzz_write("scan.txt", data + 1, size - 1);
  stream* s = stream_open(path.c_str(), "rb");
  if (!s) return 0;
  int i1 = 0, i2 = 0, n = 0;
  float f[5];
  static char word[stream_scan_default_width + 1];
  char small[16];
  short h = 0;
  long long ll = 0;
  long double ld = 0;
  int matched = 0;
  for (int round = 0; round < 256; ++round) {
    int r;
    switch (data[0] % 12) {
      case 0: r = stream_scanf(s, "%d %f %f %f ", &i1, &f[0], &f[1], &f[2]); break;  // terrain.hf
      case 1: r = stream_scanf(s, "[ %f %f ] %f %f %f %1023s ", &f[0], &f[1], &f[2], &f[3], &f[4], word); break;
      case 2: n = 0; stream_scanf(s, " #%*[^\n]%n", &n); r = n > 0; break;  // comment lines
      case 3: r = stream_scanf(s, "%15s", small); break;
      case 4: r = stream_scanf(s, "JM%d", &i1); break;
      case 5: r = stream_scanf(s, " %d %1023s", &i1, word); break;
      case 6: r = stream_scanf(s, "%f %f %f %f %f %d %d", &f[0], &f[1], &f[2], &f[3], &f[4], &i1, &i2); break;
      case 7: r = stream_scanf(s, " %1[#]%*[^\n]", small); break;
      case 8: r = stream_scanf(s, "%f", &f[0]); break;
      case 9: r = stream_scanf(s, "%d", &i1); break;
      case 10: r = stream_scanf(s, "%i %o %x %c %n", &i1, &i2, &n, small, &n); break;
      default: r = stream_scanf(s, "%hd %lld %Lf %*s %[a-z0-9_.]", &h, &ll, &ld, word); break;
    }
    if (r <= 0) break;
    matched += r;
    stream_skip_comment_lines(s);
  }
  stream_close(s);
  return matched > 0;
}
