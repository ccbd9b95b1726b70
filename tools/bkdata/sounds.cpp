// bkdata sounds OUTDIR: the engine sounds and the sample track's script
// sounds, made from formulas and seeded noise. The class definitions
// ("defaultNN.braap") lie at the data root, the sound tables and their
// cells in "sounds/", the track's sounds in "quarrybend/". Every file is
// raw mono signed 16-bit little-endian PCM at 44100 Hz or text; the same
// bytes come out of every run.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <system_error>
#include <vector>

#include "bike/bike_model.h"
#include "bike/rider_engine.h"
#include "tools/bkdata/commands.h"

namespace fs = std::filesystem;

namespace {

const double rate = 44100;
const double pi = 3.14159265358979323846;
// The loudest cell's level (full load at the top row) and the highest peak
// of any cell. One engine heard at full volume swings the 8-bit output
// well, and a field of forty riders still has headroom in the mix.
const double cell_rms = 0.075, cell_peak = 0.25;

struct engine_kind {
  const char* table;       // "two_stroke" / "four_stroke"
  double firings;          // per revolution
  int rows[6];             // rpm
  double resonance_hz;     // the ring of the exhaust after each firing
};

const engine_kind kinds[2] = {
    {"two_stroke", 1.0, {2000, 4000, 6000, 8000, 10000, 13000}, 1150},
    {"four_stroke", 0.5, {1500, 3500, 5500, 7500, 9500, 12000}, 620},
};

int write_bytes(const fs::path& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary);
  out << bytes;
  out.close();
  if (!out) {
    std::fprintf(stderr, "bkdata sounds: can't write '%s'\n", path.string().c_str());
    return 0;
  }
  return 1;
}

std::string pcm(const std::vector<double>& x) {
  std::string out;
  out.reserve(x.size() * 2);
  for (double v : x) {
    const long s = std::lround(std::max(-1.0, std::min(1.0, v)) * 32767);
    out += (char)(s & 0xff);
    out += (char)((s >> 8) & 0xff);
  }
  return out;
}

// Periods firing periods of an engine at rpm: each a decaying train of
// harmonics of the firing frequency, an exhaust ring and a burst of noise.
// Full load has more and stronger harmonics and more noise. The bang
// decays in time, not per period, so at high revs the firings run into
// one another as a steady howl while idle is a slow thump.
//
// The game plays one period per firing and many engines add up in one
// 8-bit mix, so each period (as the player cuts it, count / periods
// samples) is made to average zero: the period's mean is taken out in the
// shape of its envelope, which keeps its ends where they were.
//
// Loudness: the cell is scaled to a level that grows with the revs and the
// load, so the note swells as the throttle opens and the engine spins up.
std::vector<double> engine_cell(const engine_kind& k, int rpm, int load, int periods, std::mt19937* rng) {
  const double period = rate * 60.0 / (rpm * k.firings);
  const int n = (int)std::ceil(period * periods);
  const int harmonics = load ? 10 : 5;
  const double tilt = load ? 1.0 : 1.6, noise = load ? 0.3 : 0.2;
  std::normal_distribution<double> normal(0.0, 1.0);
  std::vector<double> x(n), env(n);
  for (int i = 0; i < n; i++) {
    const double phi = std::fmod(i / period, 1.0);
    const double since = phi * period / rate;  // seconds since the firing
    env[i] = std::exp(-since / 0.012);
    double s = 0;
    for (int h = 1; h <= harmonics; h++) s += std::sin(2 * pi * h * phi + 0.7 * h) / std::pow(h, tilt);
    s += 0.5 * std::sin(2 * pi * k.resonance_hz * since) * std::exp(-since * 60);
    x[i] = (s + noise * normal(*rng)) * env[i];
  }
  const double q = (double)n / periods;
  for (int e = 0; e < periods; e++) {
    const int a = (int)(q * e), b = e + 1 < periods ? (int)(q * (e + 1)) : n;
    double sx = 0, se = 0;
    for (int i = a; i < b; i++) sx += x[i], se += env[i];
    for (int i = a; i < b; i++) x[i] -= sx / se * env[i];
  }
  const double revs = (double)(rpm - k.rows[0]) / (k.rows[5] - k.rows[0]);
  const double want = cell_rms * (0.35 + 0.65 * revs) * (load ? 1.0 : 0.65);
  double power = 0, peak = 0;
  for (double v : x) power += v * v, peak = std::max(peak, std::fabs(v));
  const double gain = std::min(want / std::sqrt(power / n), cell_peak / peak);
  for (double& v : x) v *= gain;
  return x;
}

int periods_for(int rpm) { return rpm < 5000 ? 4 : 8; }

int write_table(const fs::path& root, const engine_kind& k, std::mt19937* rng) {
  std::string text = "SOUNDTABLE 6 2\n";
  for (int r : k.rows) text += std::to_string(r) + " ";
  text += "\n0 1\n";
  for (int r : k.rows)
    for (int load = 0; load < 2; load++) {
      const int periods = periods_for(r);
      char name[96];
      std::snprintf(name, sizeof name, "%s_%d_%d.raw", k.table, r, load);
      if (!write_bytes(root / "sounds" / name, pcm(engine_cell(k, r, load, periods, rng)))) return 0;
      // The lowest full-load row plays its periods out of order, so the
      // slow note does not repeat every few firings.
      if (r == k.rows[0] && load == 1) text += "3 1 0 2 -1 ";
      else text += "-1 ";
      text += std::to_string(periods) + " @sounds/" + name + "\n";
    }
  return write_bytes(root / "sounds" / (std::string(k.table) + ".soundtable"), text);
}

// lowtorque and hightorque from the class's torque curves: the mean
// closed-throttle torque and the peak full-throttle torque, averaged over
// the class's bikes, so the table's load runs from coasting to full power.
void torque_range(const char* cls, double* low, double* high) {
  double lo = 0, hi = 0;
  int bikes = 0;
  for (int i = 0; i < BIKE_MODEL_COUNT; i++) {
    const bike_model* m = &bike_models[i];
    if (std::strcmp(m->bike_class, cls) != 0) continue;
    double closed = 0, peak = -1e9;
    int points = 0;
    for (float rpm = 1000; rpm <= m->rpm_thresholds[2]; rpm += 250, points++) {
      closed += engine_curve_torque(m, rpm, 0);
      peak = std::max(peak, (double)engine_curve_torque(m, rpm, 1));
    }
    if (!points) continue;
    lo += closed / points;
    hi += peak;
    bikes++;
  }
  *low = bikes ? lo / bikes : -2.5;
  *high = bikes ? hi / bikes : 2.5;
  if (!(*high > *low)) *high = *low + 1;
}

int write_definition(const fs::path& root, const char* cls) {
  const int four = cls[std::strlen(cls) - 1] == 'f';
  const int fifty = std::strcmp(cls, "50") == 0;
  double low, high;
  torque_range(cls, &low, &high);
  char text[1024];
  std::snprintf(text, sizeof text,
                "# Engine sound of the %s class: made by bkdata from formulas.\n"
                "pipe %s\n"
                "minrpm %d\n"
                "lowtorque %.4f   # coasting\n"
                "hightorque %.4f  # peak power\n"
                "bias 12 -8 4 -8\n"
                "scale 1.01 0.99 1.004 0.996\n"
                "soundtable @sounds/%s.soundtable\n",
                cls, four ? "5.0 0.9182072 -0.85" : fifty ? "1.2 0.25 -0.7" : "1.75 0.3 -0.75",
                four ? 1200 : fifty ? 1800 : 1400, low, high, four ? "four_stroke" : "two_stroke");
  return write_bytes(root / (std::string("default") + cls + ".braap"), text);
}

// A crowd's murmur, four seconds that loop: noise through two slow
// filters, its last half second faded into its first.
std::vector<double> crowd(std::mt19937* rng) {
  const int n = (int)(4 * rate), fade = (int)(0.5 * rate);
  std::normal_distribution<double> normal(0.0, 1.0);
  std::vector<double> x(n + fade);
  double a = 0, b = 0;
  for (size_t i = 0; i < x.size(); i++) {
    a += 0.08 * (normal(*rng) - a);
    b += 0.02 * (a - b);
    const double swell = 0.75 + 0.25 * std::sin(2 * pi * i / (2.0 * rate));
    x[i] = (a - b) * 1.6 * swell;
  }
  std::vector<double> out(x.begin(), x.begin() + n);
  double peak = 0;
  for (int i = 0; i < n; i++) {
    if (i < fade) {
      const double t = (double)i / fade;
      out[i] = out[i] * t + x[n + i] * (1 - t);
    }
    peak = std::max(peak, std::fabs(out[i]));
  }
  for (double& v : out) v *= 0.5 / peak;
  return out;
}

// An air horn: two detuned saw-like tones with a quick attack and release.
std::vector<double> horn() {
  const int n = (int)(1.2 * rate);
  std::vector<double> x(n);
  for (int i = 0; i < n; i++) {
    const double t = i / rate;
    const double env = std::min(1.0, t / 0.03) * std::min(1.0, (1.2 - t) / 0.15);
    double s = 0;
    for (int h = 1; h <= 8; h++) s += (std::sin(2 * pi * 440 * h * t) + std::sin(2 * pi * 554.4 * h * t)) / h;
    x[i] = 0.22 * env * s;
  }
  return x;
}

}  // namespace

int bkdata_sounds(int argc, char** argv) {
  if (argc != 1) return bkdata_usage();
  const fs::path root = argv[0];
  std::error_code ec;
  fs::create_directories(root / "sounds", ec);
  fs::create_directories(root / "quarrybend", ec);
  std::mt19937 rng(20261210);
  for (const engine_kind& k : kinds)
    if (!write_table(root, k, &rng)) return 1;
  for (const char* cls : {"50", "125", "250", "250f", "450f"})
    if (!write_definition(root, cls)) return 1;
  if (!write_bytes(root / "quarrybend" / "crowd.raw", pcm(crowd(&rng))) ||
      !write_bytes(root / "quarrybend" / "horn.raw", pcm(horn())))
    return 1;
  return 0;
}
