#include "race/engine_sound.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "core/file.h"
#include "core/message_ring.h"
#include "core/stream.h"
#include "race/test_support_race.h"
#include "tools/testing/test_env.h"

namespace {

std::string fixture_path(const std::string& name) { return std::string(test_root()) + "/engine_sound/" + name; }

std::string write_fixture(const std::string& name, const std::string& bytes) {
  const std::string path = fixture_path(name);
  std::string dir = path.substr(0, path.rfind('/'));
  std::string cmd = "mkdir -p '" + dir + "'";
  EXPECT_EQ(std::system(cmd.c_str()), 0);
  std::ofstream(path, std::ios::binary) << bytes;
  return path;
}

// n signed 16-bit little-endian samples of a sine, one period.
std::string sine_raw(int n) {
  std::string out;
  for (int i = 0; i < n; i++) {
    const int16_t v = (int16_t)std::lround(16000 * std::sin(2 * M_PI * i / n));
    out += (char)(v & 0xff);
    out += (char)((v >> 8) & 0xff);
  }
  return out;
}

sound_table* read_table_text(const std::string& name, const std::string& text) {
  const std::string path = write_fixture(name, text);
  stream s;
  if (!stream_open_name(&s, path.c_str(), "rb")) return nullptr;
  sound_table* t = sound_table_read(&s, path.c_str());
  stream_close_file(&s);
  return t;
}

void parse_text(engine_sound* d, const std::string& name, const std::string& text) {
  const std::string path = write_fixture(name, text);
  stream s;
  ASSERT_TRUE(stream_open_name(&s, path.c_str(), "rb"));
  engine_sound_parse(d, &s, path.c_str());
  stream_close_file(&s);
}

class EngineSound : public ::testing::Test {
 protected:
  void SetUp() override {
    first_ = message_ring.write_index;
    sample_ = write_fixture("sounds/sine.raw", sine_raw(200));
  }
  void TearDown() override {
    sound_tables_free();
    sound_samples_free();
  }
  std::string console() const { return race_test_console_since(first_); }
  int first_ = 0;
  std::string sample_;
};

TEST_F(EngineSound, PipeBandsOfTheBuiltInsAndTheConsoleForms) {
  const engine_sound* four = engine_sound_builtin(0);
  EXPECT_EQ(four->band_delay[0], 386);
  EXPECT_EQ(four->band_delay[15], 315);
  for (int k = 0; k < 16; k++) EXPECT_FLOAT_EQ(four->band_gain[k], -0.053125f) << k;
  for (int k = 1; k < 16; k++) EXPECT_LT(four->band_delay[k], four->band_delay[k - 1]) << k;

  engine_sound d = *four;
  parse_text(&d, "pipe3.braap", "pipe 3\n");
  // Length 3 with spread 0.9182072 over all 16 bands: band 0 at the full length.
  EXPECT_EQ(d.band_delay[0], (int)(2 * 44100 * 3.0 / 1140.63));
  EXPECT_EQ(d.band_delay[15], (int)(2 * 44100 * (3.0 - 0.9182072) / 1140.63));
  EXPECT_FLOAT_EQ(d.band_gain[7], -0.85f / 16);

  d = *four;
  set_pipe_bands(&d, 2, 1, -0.5f, 9, 4);  // first above last: band 9 alone
  EXPECT_EQ(d.band_delay[9], (int)(2 * 44100 * 2.0 / 1140.63));
  EXPECT_FLOAT_EQ(d.band_gain[9], -0.5f);
  EXPECT_EQ(d.band_delay[8], four->band_delay[8]);
  EXPECT_EQ(d.band_delay[10], four->band_delay[10]);

  const float lengths[] = {1e30f, -1e30f, -3, NAN, INFINITY, 500};
  for (float length : lengths) {
    set_pipe_bands(&d, length, length, NAN, -100, 100);
    for (int k = 0; k < 16; k++) {
      EXPECT_GE(d.band_delay[k], 0) << length;
      EXPECT_LE(d.band_delay[k], 32767) << length;
      EXPECT_TRUE(std::isfinite(d.band_gain[k]));
    }
  }
}

TEST_F(EngineSound, DefinitionLines) {
  engine_sound d = *engine_sound_builtin(1);
  std::string many = "scale";
  for (int i = 0; i < 130; i++) many += " " + std::to_string(i + 1);
  // Its tail past 1023 characters reads "minrpm 7".
  const std::string long_comment = "# " + std::string(1021, 'c') + "minrpm 7\n";
  parse_text(&d, "lines.braap",
             "# a comment line\n"
             "minrpm 1500 # trailing comment\n"
             "lowtorque -1\nhightorque 4\n"
             "  bias\n" +
                 many +
                 "\n"
                 "biased 3 4\n"
                 "hightorque nan\n"
                 "pipe 2 inf\n" +
                 long_comment);
  EXPECT_FLOAT_EQ(d.minrpm, 1500);
  EXPECT_FLOAT_EQ(d.lowtorque, -1);
  EXPECT_FLOAT_EQ(d.hightorque, 4);
  EXPECT_EQ(d.bias_count, 0);
  EXPECT_EQ(d.scale_count, 100);
  EXPECT_FLOAT_EQ(d.scale[99], 100);
  EXPECT_EQ(d.band_delay[0], engine_sound_builtin(1)->band_delay[0]);  // the pipe line with inf was ignored
  const std::string c = console();
  EXPECT_NE(c.find("lines.braap:8: a number is not finite"), std::string::npos) << c;
  EXPECT_NE(c.find("lines.braap:9: a number is not finite"), std::string::npos) << c;
  EXPECT_NE(c.find("lines.braap:10: line longer than 1023 characters ignored"), std::string::npos) << c;
}

TEST_F(EngineSound, SkinChainAndDefaults) {
  write_fixture("bikes/m.braap", "minrpm 111\n");
  const std::string skin = fixture_path("bikes/m-red-blue.png");
  engine_voice* v = &engine_voices[3];
  load_engine_sound(v, nullptr, skin.c_str());
  EXPECT_FLOAT_EQ(v->definition.minrpm, 111);
  // The file had no "pipe": no resonance; no bias either: {0}.
  for (int k = 0; k < 16; k++) EXPECT_EQ(v->definition.band_gain[k], 0);
  EXPECT_EQ(v->definition.bias_count, 1);
  EXPECT_EQ(v->definition.bias[0], 0);
  EXPECT_EQ(v->definition.scale_count, 1);
  EXPECT_EQ(v->definition.scale[0], 1);
  EXPECT_EQ(v->write_position, 11025);
  EXPECT_EQ(v->sound, nullptr);

  write_fixture("bikes/m-red.braap", "minrpm 222\n");
  load_engine_sound(v, nullptr, skin.c_str());
  EXPECT_FLOAT_EQ(v->definition.minrpm, 222);
  write_fixture("bikes/m-red-blue.braap", "minrpm 333\n");
  load_engine_sound(v, nullptr, skin.c_str());
  EXPECT_FLOAT_EQ(v->definition.minrpm, 333);

  // No "." after the last "/": straight to the class default (none here),
  // so the built-in four-stroke with its bands.
  const std::string bare = fixture_path("bikes/m-red");
  load_engine_sound(v, nullptr, bare.c_str());
  EXPECT_FLOAT_EQ(v->definition.minrpm, 1000);
  EXPECT_EQ(v->definition.band_delay[0], 386);
  EXPECT_STREQ(v->definition.table->name, "default_four_stroke");
  EXPECT_EQ(default_engine_sound_file(nullptr), nullptr);
}

TEST_F(EngineSound, TablesAreSharedAndFailedOnesRetried) {
  const std::string table = fixture_path("sounds/shared.soundtable");
  const std::string def = "soundtable   " + table + "  \n";
  engine_sound a = *engine_sound_builtin(0), b = a, c = a;
  parse_text(&a, "a.braap", def);
  EXPECT_EQ(a.table, engine_sound_builtin(0)->table);  // missing: kept the previous
  EXPECT_NE(console().find("Error reading '" + table + "'"), std::string::npos);
  write_fixture("sounds/shared.soundtable",
                "SOUNDTABLE 2 2\n3000 9000\n0 1\n"
                "-1 2 " + sample_ + "\n-1 2 " + sample_ + "\n"
                "5 -3 -1 4 " + sample_ + "\n-1 1 " + sample_ + "\n");
  parse_text(&b, "b.braap", def);
  parse_text(&c, "c.braap", def);
  ASSERT_NE(b.table, engine_sound_builtin(0)->table);
  EXPECT_EQ(b.table, c.table);
  const sound_table_cell* cell = &b.table->cells[2];
  EXPECT_EQ(cell->row_value, 9000);
  EXPECT_EQ(cell->column_value, 0);
  ASSERT_EQ(cell->remap_count, 2);
  EXPECT_EQ(cell->remap[0], 1);  // 5 mod 4
  EXPECT_EQ(cell->remap[1], 1);  // -3 mod 4, kept non-negative
  EXPECT_EQ(cell->sample_count, 200);
  EXPECT_EQ(b.table->cells[0].samples, b.table->cells[3].samples);  // one cached copy
}

TEST_F(EngineSound, MalformedTablesAreRefusedWithTheirReason) {
  write_fixture("sounds/empty.raw", "");
  write_fixture("sounds/one.raw", "x");
  const std::string s = " " + sample_ + "\n";
  const std::string longname(1100, 'a');
  struct bad {
    const char* what;
    std::string text;
    std::string reason;
  } const cases[] = {
      {"header", "SOUNDTAB 1 1\n1000\n0\n-1 1" + s, "header"},
      {"no sizes", "SOUNDTABLE\n", "header"},
      {"zero rows", "SOUNDTABLE 0 1\n", "each side must be 1..256"},
      {"negative", "SOUNDTABLE -1 2\n", "each side must be 1..256"},
      {"huge", "SOUNDTABLE 100000 1\n", "each side must be 1..256"},
      {"too many cells", "SOUNDTABLE 100 100\n", "at most 4096 cells"},
      {"missing row", "SOUNDTABLE 2 1\n1000\n", "row value 1 missing"},
      {"falling rows", "SOUNDTABLE 2 1\n2000 1000\n0\n", "row values must rise strictly"},
      {"equal columns", "SOUNDTABLE 1 2\n1000\n0.5 0.5\n", "column values must rise strictly"},
      {"nan row", "SOUNDTABLE 1 1\nnan\n0\n", "not a finite number"},
      {"remap x", "SOUNDTABLE 1 1\n1000\n0\n1 x -1 1" + s, "(0, 0) Bad remap entry"},
      {"periods 0", "SOUNDTABLE 1 1\n1000\n0\n-1 0" + s, "period count must be 1 or more"},
      {"periods -2", "SOUNDTABLE 1 1\n1000\n0\n-1 -2" + s, "period count must be 1 or more"},
      {"periods 1e30", "SOUNDTABLE 1 1\n1000\n0\n-1 1e30" + s, "period count must be 1 or more"},
      {"periods nan", "SOUNDTABLE 1 1\n1000\n0\n-1 nan" + s, "period count must be 1 or more"},
      {"no period", "SOUNDTABLE 1 1\n1000\n0\n-1\n", "(0, 0) Error reading ''"},
      {"missing sample", "SOUNDTABLE 1 1\n1000\n0\n-1 1 nosuch.raw\n", "(0, 0) Error reading 'nosuch.raw'"},
      {"empty sample", "SOUNDTABLE 1 1\n1000\n0\n-1 1 " + fixture_path("sounds/empty.raw"), "Error reading"},
      {"one byte", "SOUNDTABLE 1 1\n1000\n0\n-1 1 " + fixture_path("sounds/one.raw"), "Error reading"},
      {"long name", "SOUNDTABLE 1 1\n1000\n0\n-1 1 " + longname, "sample name over 1023 characters"},
      {"second cell", "SOUNDTABLE 1 2\n1000\n0 1\n-1 1" + s + "-1 1 nosuch.raw", "(0, 1) Error reading"},
  };
  for (const bad& b : cases) {
    const int first = message_ring.write_index;
    sound_table* t = read_table_text("sounds/bad.soundtable", b.text);
    EXPECT_EQ(t, nullptr) << b.what;
    sound_table_free(t);
    const std::string c = race_test_console_since(first);
    EXPECT_NE(c.find(b.reason), std::string::npos) << b.what << ": " << c;
    EXPECT_NE(c.find("Error reading '" + fixture_path("sounds/bad.soundtable")), std::string::npos) << b.what;
  }
  // A definition naming a refused table keeps its previous one.
  engine_sound d = *engine_sound_builtin(1);
  parse_text(&d, "bad.braap", "soundtable " + fixture_path("sounds/bad.soundtable") + "\n");
  EXPECT_EQ(d.table, engine_sound_builtin(1)->table);
}

// Mutated table and definition texts: nothing crashes or reads out of
// bounds, and whatever is accepted holds finite samples and sane sizes.
TEST_F(EngineSound, MutatedTextsAreReadSafely) {
  const std::string table = "SOUNDTABLE 2 2\n3000 9000\n0 1\n-1 2 " + sample_ + "\n3 -1 2 " + sample_ +
                            "\n-1 1 " + sample_ + "\n0 1 -1 2 " + sample_ + "\n";
  const std::string def = "pipe 4 0.5 -0.7 2 9\nminrpm 900\nbias 10 -10\nscale 1 1.01\nlowtorque -2\n";
  std::mt19937 rng(1234);
  const char alphabet[] = " \n-0123456789.#xe";
  for (int round = 0; round < 150; round++) {
    std::string t = table, b = def;
    for (std::string* text : {&t, &b}) {
      const int edits = 1 + rng() % 4;
      for (int e = 0; e < edits; e++) {
        const size_t at = rng() % text->size();
        switch (rng() % 3) {
          case 0: (*text)[at] = alphabet[rng() % (sizeof alphabet - 1)]; break;
          case 1: text->erase(at, 1 + rng() % 3); break;
          default: text->insert(at, 1, alphabet[rng() % (sizeof alphabet - 1)]);
        }
        if (text->empty()) *text = "x";
      }
    }
    sound_table* read = read_table_text("sounds/mutant.soundtable", t);
    if (read) {
      ASSERT_GE(read->rows, 1);
      ASSERT_GE(read->columns, 1);
      for (int i = 0; i < read->rows * read->columns; i++) {
        const sound_table_cell& c = read->cells[i];
        ASSERT_GE(c.period_count, 1);
        for (int k = 0; k < c.remap_count; k++) ASSERT_TRUE(c.remap[k] >= 0 && c.remap[k] < c.period_count);
        for (int k = 0; k < c.sample_count; k++) ASSERT_TRUE(std::isfinite(c.samples[k]));
      }
    }
    sound_table_free(read);
    engine_sound d = *engine_sound_builtin(0);
    parse_text(&d, "mutant.braap", b);
    for (int k = 0; k < 16; k++) ASSERT_TRUE(d.band_delay[k] >= 0 && d.band_delay[k] <= 32767);
    ASSERT_TRUE(std::isfinite(d.minrpm) && std::isfinite(d.lowtorque) && std::isfinite(d.hightorque));
  }
}

}  // namespace
