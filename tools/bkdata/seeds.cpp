// bkdata seeds OUTDIR: the seed corpus of every fuzz target, one folder a
// target (OUTDIR/<target>/), made with the game's own writers and the
// sample data, small enough for the fuzzer to mutate quickly.
#include <zlib.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "assets/image.h"
#include "assets/jm_writer.h"
#include "assets/anim_writer.h"
#include "assets/model.h"
#include "core/saf.h"
#include "core/scram.h"
#include "core/file.h"
#include "fuzz/fuzz_folder.h"
#include "fuzz/lines_route.h"
#include "fuzz/track_names.h"
#include "race/control_bindings.h"
#include "race/demo_file.h"
#include "robot/lines.h"
#include "terrain/rut_message.h"
#include "tools/bkdata/commands.h"
#include "ui/bike_setup.h"
#include "ui/console_files.h"
#include "ui/config.h"

namespace fs = std::filesystem;

namespace {

std::string read_whole(const fs::path& path) {
  std::string bytes;
  if (FILE* f = std::fopen(path.string().c_str(), "rb")) {
    char chunk[65536];
    for (size_t n; (n = std::fread(chunk, 1, sizeof chunk, f)) > 0;) bytes.append(chunk, n);
    std::fclose(f);
  }
  return bytes;
}

int write_whole(const fs::path& path, const std::string& bytes) {
  std::error_code ec;
  fs::create_directories(path.parent_path(), ec);
  FILE* f = std::fopen(path.string().c_str(), "wb");
  if (!f) return 0;
  const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
  return std::fclose(f) == 0 && ok;
}

// A gzip member with no name and no time, so every run gives the same bytes.
std::string gzip_bytes(const std::string& plain, int level = 9) {
  z_stream z = {};
  deflateInit2(&z, level, Z_DEFLATED, 15 + 16, 8, Z_DEFAULT_STRATEGY);
  std::string out(deflateBound(&z, plain.size()) + 64, '\0');
  z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(plain.data()));
  z.avail_in = static_cast<uInt>(plain.size());
  z.next_out = reinterpret_cast<Bytef*>(&out[0]);
  z.avail_out = static_cast<uInt>(out.size());
  deflate(&z, Z_FINISH);
  out.resize(z.total_out);
  deflateEnd(&z);
  return out;
}

std::string scrambled_bytes(const fs::path& scratch, const std::string& plain) {
  const fs::path path = scratch / "scramble.tmp";
  FILE* f = std::fopen(path.string().c_str(), "wb");
  if (!f) return "";
  const int ok = scram_write(f, plain.data(), plain.size());
  std::fclose(f);
  return ok ? read_whole(path) : "";
}

const char* const sample_text =
    "# a comment line\n12 7.5 -3 1e3\n[ 10 20 ] 0.5 4 8 dirt.png\nJM1\nword_1 0x1F 017 -42\n";

int archive_seeds(const fs::path& out, const fs::path& scratch) {
  const fs::path tree = scratch / "archive";
  const std::vector<std::pair<std::string, std::string>> members = {
      {"a.txt", "hello\n"},
      {"tracks/quarry/desc.gz", gzip_bytes("Quarry Bend\n")},
      {"s.bin.scram", scrambled_bytes(scratch, sample_text)},
      {"z.bin.gz.scram", scrambled_bytes(scratch, gzip_bytes(sample_text))},
  };
  std::vector<std::string> paths;
  std::vector<const char*> names, path_texts;
  for (const auto& m : members) {
    paths.push_back((tree / m.first).string());
    if (!write_whole(paths.back(), m.second)) return 0;
  }
  for (size_t i = 0; i < members.size(); i++) {
    names.push_back(members[i].first.c_str());
    path_texts.push_back(paths[i].c_str());
  }
  std::error_code ec;
  fs::create_directories(out / "archive", ec);
  return saf_write((out / "archive" / "small.saf").string().c_str(), names.data(), path_texts.data(),
                   (int)names.size());
}

int stream_seeds(const fs::path& out, const fs::path& scratch) {
  std::string lines;
  for (int i = 0; i < 300; i++) lines += "line " + std::to_string(i * i % 977) + "\n";
  int ok = write_whole(out / "gzip" / "text.gz", gzip_bytes(lines)) &&
           write_whole(out / "gzip" / "stored.gz", gzip_bytes(sample_text, 0)) &&
           write_whole(out / "gzip" / "empty.gz", gzip_bytes(""));
  ok = ok && write_whole(out / "scrambled" / "plain", std::string(1, '\0') + scrambled_bytes(scratch, sample_text));
  ok = ok && write_whole(out / "scrambled" / "gzip",
                         std::string(1, '\1') + scrambled_bytes(scratch, gzip_bytes(lines)));
  // One seed a pattern of the scanner target, led by the pattern's number.
  const char* const texts[] = {
      "7 4.000000 -12.5 80.25 :",  "[ 10 20 ] 0.5 4 8 dirt.png\n[1 2] 3 4 5 arrow.png\n",
      "# one\n# two\nrest",        "P6\n2 2\n255\n",
      "JM2 12 rig\n",              " 24 rig\n",
      "10 1 0.5 0.5 0.5 3 1\n",    "# comment\n12\n",
      "1.5 -2e-3 inf nan 0x1p3",   "-2147483649 99999999999",
      "0x1F 017 ff z ",            "-5 123456789012 1.25 skip word_1.png",
  };
  for (int k = 0; ok && k < 12; k++)
    ok = write_whole(out / "scanner" / ("pattern" + std::to_string(k)), std::string(1, (char)k) + texts[k]);
  return ok;
}

int image_seeds(const fs::path& out) {
  uint8_t px[8 * 6 * 4];
  for (size_t i = 0; i < sizeof px; i++) px[i] = (uint8_t)(i * 37 + i / 5);
  uint16_t grey[8 * 6];
  for (int i = 0; i < 8 * 6; i++) grey[i] = (uint16_t)(i * 1361);
  const fs::path png = out / "png", pnm = out / "pnm", raw = out / "raw";
  std::error_code ec;
  for (const fs::path& d : {png, pnm, raw}) fs::create_directories(d, ec);
  int ok = 1;
  for (int c = 1; c <= 4 && ok; c++)
    ok = image_write_png8((png / ("c" + std::to_string(c) + ".png")).string().c_str(), px, 8, 6, c);
  ok = ok && image_write_png((png / "grey16.png").string().c_str(), grey, 8, 6);
  for (const char* magic : {"P2", "P3", "P5", "P6"})
    ok = ok && image_write_pnm((pnm / magic).string().c_str(), magic, px, 5, 3);
  for (const char* magic : {"J6", "J7"})
    ok = ok && image_write_raw((raw / magic).string().c_str(), magic, px, 5, 3);
  return ok;
}

int model_seeds(const fs::path& out) {
  std::error_code ec;
  fs::create_directories(out / "model", ec);
  const jm_material grey = {32.0f, {0.5f, 0.5f, 0.5f, 1.0f}};
  const float size[3] = {1.0f, 0.5f, 2.0f};
  model* box = jm_box(size, &grey, "box");
  model* capsule = jm_capsule(0.2f, 1.0f, 4, 2, 3, &grey, "capsule");
  const int ok = box && capsule && jm_write_file(box, (out / "model" / "box.jm").string().c_str()) &&
                 jm_write_file(capsule, (out / "model" / "capsule.jm").string().c_str()) &&
                 write_whole(out / "model" / "plain.jm", "3 1\n0 0 0 0 1 0 0 0\n1 0 0 0 1 0 1 0\n0 0 1 0 1 0 0 1\n0 1 2\n");
  model_free_submeshes(box);
  model_free_submeshes(capsule);
  return ok;
}

int track_seeds(const fs::path& out, const fs::path& scratch) {
  char name[] = "quarrybend";
  std::string folder_text = scratch.string();
  char* args[2] = {name, &folder_text[0]};
  std::string shapes_text = (scratch / "shapes").string();
  char* shape_args[1] = {&shapes_text[0]};
  if (bkdata_track(2, args) != 0 || bkdata_shapes(1, shape_args) != 0) return 0;
  const fs::path track = scratch / "quarrybend";
  const std::string tileinfo = read_whole(track / "tileinfo");
  const std::string tilemap = read_whole(track / "tilemap");
  // Flat shading compresses to almost nothing; the loader only needs its size.
  const std::string shading = "P6\n257 257\n255\n" + std::string(257 * 257 * 3, '\x80');
  const std::string header = read_whole(track / "terrain.hf");
  const std::string decals = "[ 100 200 ] 0.5 40 20 dirt.png\n[ 300 -20 ] 3.1 8 90 arrow.png\n";

  int ok = write_whole(out / "tileinfo" / "tileinfo", std::string(1, '\0') + tileinfo) &&
           write_whole(out / "tileinfo" / "texturelist",
                       std::string(1, '\1') + "dirt.png\n0.8 4 12 grass.png\n\nhardpack.png\n") &&
           write_whole(out / "decals" / "decals", decals);
  // Binary heights after ':' (terraces, which compress well), then the
  // folder's other files.
  std::string heights = "7 4.000000 0.000000 20.000000 :";
  const int r = 257;
  for (int j = 0; j < r; j++)
    for (int i = 0; i < r; i++) {
      const int v = ((i / 32 + j / 32) * 4000) & 0xFFFF;
      heights += (char)(v & 0xFF);
      heights += (char)(v >> 8);
    }
  std::string binary, from_png;
  fuzz_folder_pack(&binary, 1, gzip_bytes(heights));  // terrain.hf.gz
  fuzz_folder_pack(&binary, 5, gzip_bytes(shading));  // shadingx2.ppm.gz
  fuzz_folder_pack(&binary, 7, tileinfo);
  fuzz_folder_pack(&binary, 9, tilemap);
  fuzz_folder_pack(&binary, 10, decals);
  // Heights from a small terrain.png (a smaller picture repeats its edge).
  uint16_t samples[16 * 16];
  for (int i = 0; i < 16 * 16; i++) samples[i] = (uint16_t)(i * 251);
  const fs::path small_png = scratch / "terrain.png";
  ok = ok && image_write_png(small_png.string().c_str(), samples, 16, 16);
  fuzz_folder_pack(&from_png, 0, header);
  fuzz_folder_pack(&from_png, 2, read_whole(small_png));
  fuzz_folder_pack(&from_png, 5, gzip_bytes(shading));
  fuzz_folder_pack(&from_png, 8, "dirt.png\n0.8 4 12 grass.png\n");
  fuzz_folder_pack(&from_png, 9, tilemap);
  ok = ok && write_whole(out / "terrain" / "binary-heights", binary) &&
       write_whole(out / "terrain" / "png-heights", from_png);

  for (const char* shape : {"front_wheel.shp", "generic_frame.shp", "startgate.shp"})
    ok = ok && write_whole(out / "shape" / shape, read_whole(scratch / "shapes" / shape));

  // The sample track's text files, each led by its index in the target's
  // table.
  for (int k = 0; ok && k < fuzz_track_file_kinds; k++) {
    const std::string text = read_whole(track / fuzz_track_file_names[k]);
    ok = !text.empty() && write_whole(out / "track_files" / fuzz_track_file_names[k], std::string(1, (char)k) + text);
  }
  return ok;
}

// Sequences packed with the pictures they name (see fuzz/targets/anim.cpp):
// two PNG frames, and three small J7 frames inside the file.
int anim_seeds(const fs::path& out, const fs::path& scratch) {
  uint8_t px[2][8 * 4 * 4];
  for (int f = 0; f < 2; f++)
    for (size_t i = 0; i < sizeof px[f]; i++) px[f][i] = (uint8_t)(i * 29 + f * 101);
  const fs::path a = scratch / "a.png", b = scratch / "b.png";
  if (!image_write_png8(a.string().c_str(), px[0], 8, 4, 4) || !image_write_png8(b.string().c_str(), px[1], 8, 4, 4))
    return 0;
  const anim_writer_frame png_frames[2] = {{"@a.png", nullptr, 8, 4}, {"@b.png", nullptr, 8, 4}};
  const int png_order[4] = {0, 1, 1, 0};
  const anim_writer_sequence png_seq = {4, png_order, 2, png_frames, 16, 1};
  const anim_writer_frame j7_frames[3] = {{nullptr, px[0], 4, 2}, {nullptr, px[1], 4, 2}, {nullptr, px[0] + 32, 4, 2}};
  const int j7_order[3] = {2, 0, 1};
  const anim_writer_sequence j7_seq = {3, j7_order, 3, j7_frames, 5, 0};
  const fs::path png_seq_path = scratch / "png.seq", j7_seq_path = scratch / "j7.seq";
  if (!anim_write_file(&png_seq, png_seq_path.string().c_str()) ||
      !anim_write_file(&j7_seq, j7_seq_path.string().c_str()))
    return 0;
  std::string with_pngs, embedded;
  fuzz_folder_pack(&with_pngs, 0, read_whole(png_seq_path));
  fuzz_folder_pack(&with_pngs, 1, read_whole(a));
  fuzz_folder_pack(&with_pngs, 2, read_whole(b));
  fuzz_folder_pack(&embedded, 0, read_whole(j7_seq_path));
  return write_whole(out / "anim" / "png-frames", with_pngs) && write_whole(out / "anim" / "j7-frames", embedded);
}

// The config and a setup file as the game writes them.
int settings_seeds(const fs::path& out) {
  control_bindings_reset();
  std::string setup;
  write_bike_setup(&setup);
  return write_whole(out / "config" / "config", config_text()) && write_whole(out / "bike_setup" / "default", setup);
}

// The sample series with standings after its heat, then with both events
// done. The series text and its standings are split by one NUL byte.
int series_seeds(const fs::path& out, const fs::path& scratch) {
  if (!write_sample_series(scratch.string().c_str())) return 0;
  const std::string text = read_whole(scratch / "quarrybend_cup.series");
  return !text.empty() && write_whole(out / "series" / "after-heat", text + std::string(1, '\0') + "3 1 4 2 5 \n") &&
         write_whole(out / "series" / "finished", text + std::string(1, '\0') + "3 1 4 2 5 \n1 2 3 4 5 \n");
}

int rut_seeds(const fs::path& out) {
  rut_point points[rut_stroke_points];
  for (int i = 0; i < rut_stroke_points; i++)
    points[i] = {100.0f + i * 0.7f, 200.0f - i * 0.3f, 0.6f, -0.4f + i * 0.01f, 1 + i % 15};
  const float low[2] = {0.2f, -0.5f}, high[2] = {0.9f, 0.1f};
  uint8_t message[rut_message_max_bytes];
  int ok = 1;
  for (int count : {1, 5, (int)rut_stroke_points}) {
    const int32_t n = rut_message_encode(points, count, low, high, 1024.0f, message);
    ok = ok && n > 0 &&
         write_whole(out / "rut_message" / ("points" + std::to_string(count)),
                     std::string(reinterpret_cast<char*>(message), (size_t)n));
  }
  return ok;
}

// The server's reliable items for the net_items target: mode byte 0, then
// one item; mode byte 1, then messages of a length byte and the datagram
// after its kind (sequence offset from the expected one, item, payload).
int net_item_seeds(const fs::path& out) {
  auto u32 = [](uint32_t v) {
    std::string b;
    for (int i = 0; i < 4; i++) b += static_cast<char>(v >> (8 * i));
    return b;
  };
  rut_point points[4];
  for (int i = 0; i < 4; i++) points[i] = {500.0f + i, 600.0f + i, 0.5f, 0.2f, 4};
  const float low[2] = {0.2f, -0.5f}, high[2] = {0.9f, 0.1f};
  uint8_t message[rut_message_max_bytes];
  const int32_t n = rut_message_encode(points, 4, low, high, 1024.0f, message);
  const std::string rut(reinterpret_cast<char*>(message), n > 0 ? (size_t)n : 0);
  auto one = [](int item, const std::string& payload) { return std::string(1, 0) + static_cast<char>(item) + payload; };
  auto msg = [&](uint32_t offset, int item, const std::string& payload) {
    const std::string body = u32(offset) + static_cast<char>(item) + payload;
    return static_cast<char>(body.size()) + body;
  };
  const struct {
    const char* name;
    std::string bytes;
  } seeds[] = {
      {"text", one(19, "Hello riders")},
      {"ping", one(20, "")},
      {"timing", one(21, u32(1) + u32(2) + u32(5) + u32(3) + u32(900) + u32(6) + u32(1) + u32(400))},
      {"knockout", one(24, "knockout 100 200")},
      {"erode", one(24, "erode 1 1024")},
      {"off_course", one(24, "off_course_scale 2.5")},
      {"redirect", one(24, "redirect 127.0.0.1:19801")},
      {"senddenied", one(24, "senddenied")},
      {"version_text", one(24, "version")},
      {"terrain", one(27, u32(1) + rut)},
      {"version", one(30, "")},
      {"in_order", std::string(1, 1) + msg(0, 19, "a") + msg(0, 19, "b")},
      {"out_of_order", std::string(1, 1) + msg(2, 19, "c") + msg(1, 19, "b") + msg(0, 19, "a") + msg(0xfe, 19, "old")},
      {"far_ahead", std::string(1, 1) + msg(0x80000000u, 19, "far") + msg(0, 24, "no_arcade")},
  };
  int ok = 1;
  for (const auto& s : seeds) ok = ok && write_whole(out / "net_items" / s.name, s.bytes);
  return ok;
}

// Server datagrams as the client takes them, each after the byte that
// picks the client's state (index into the net_packet target's table).
int net_seeds(const fs::path& out) {
  auto u32 = [](uint32_t v) {
    std::string b;
    for (int i = 0; i < 4; i++) b += static_cast<char>(v >> (8 * i));
    return b;
  };
  auto u16 = [](uint32_t v) { return std::string{static_cast<char>(v), static_cast<char>(v >> 8)}; };
  const std::string pose(39, '\x40');
  const std::string digest(20, '\x11');
  const struct {
    const char* name;
    std::string bytes;
  } seeds[] = {
      {"accept", std::string(1, 0) + '\x02' + u32(3) + u32(77) + u32(6)},
      {"race_info", std::string(1, 1) + '\x04' + u32(1) + u32(7680) + u32(3) + u32(1000) + digest + "quarrybend"},
      {"rider_info", std::string(1, 3) + '\x06' + u32(1) + u32(5) + "crf250|a|b|c|d\n12\nBob"},
      {"time_sync", std::string(1, 4) + '\x0a' + u32(1) + u32(2000) + u32(10)},
      {"states", std::string(1, 5) + '\x0b' + u32(1) + u32(2000) + u32(10) + u32(2) + u16(5) + u16(3) + u32(100) +
                     pose + u16(6) + u16(3) + u32(101) + pose},
      {"restart", std::string(1, 5) + '\x0e' + u32(2)},
      {"message", std::string(1, 5) + '\x10' + "Server going down"},
      {"reliable", std::string(1, 5) + '\x11' + u32(9) + '\x01' + "text"},
      {"redirect", std::string(1, 0) + '\x19' + u32(0) + "127.0.0.1:19801" + '\0'},
  };
  int ok = 1;
  for (const auto& s : seeds) ok = ok && write_whole(out / "net_packet" / s.name, s.bytes);
  return ok && net_item_seeds(out);
}

// Small demos of each version, written with the game's demo writer.
int demo_seeds(const fs::path& out, const fs::path& scratch) {
  fs::create_directories(out / "demo");
  static demo_header h;
  h = {};
  h.version = demo_version;
  h.rider_count = 2;
  h.race_laps = 3;
  h.gate_drop_tick = demo_gate_drop_default;
  std::snprintf(h.track, sizeof h.track, "quarrybend");
  for (int i = 0; i < 2; i++) {
    std::snprintf(h.riders[i].bike, sizeof h.riders[i].bike, "crf250");
    std::snprintf(h.riders[i].number, sizeof h.riders[i].number, "%d", 10 + i);
    std::snprintf(h.riders[i].name, sizeof h.riders[i].name, "Rider %d", i);
  }
  const std::string path = (scratch / "seed.bkdemo").string();
  stream s = {};
  if (!stream_open_path(&s, path.c_str(), "wb")) return 0;
  int ok = demo_header_write(&s, &h);
  uint32_t previous = 0;
  ok = ok && demo_chunk_write(&s, &previous, 0, demo_chunk_command, "erode 1024", 10);
  ok = ok && demo_chunk_write(&s, &previous, 0, demo_chunk_text, "Hello\n", 6);
  for (int t = 0; ok && t < 64; t += 16) {
    uint8_t states[4 * 2 * demo_state_entry_bytes] = {};
    for (int k = 0; k < 8; k++) {
      states[k * demo_state_entry_bytes] = (uint8_t)(k % 2);
      demo_put_u32(states + k * demo_state_entry_bytes + 1, (uint32_t)(t + 4 * (k / 2)));
      for (int b = 5; b < demo_state_entry_bytes; b++) states[k * demo_state_entry_bytes + b] = (uint8_t)(b * 7 + k);
    }
    ok = demo_chunk_write(&s, &previous, t, demo_chunk_states, states, sizeof states);
  }
  rut_point points[4];
  for (int i = 0; i < 4; i++) points[i] = {500.0f + i, 600.0f + i, 0.5f, 0.2f, 4};
  const float low[2] = {0.5f, 0.5f}, high[2] = {1.5f, 1.5f};
  uint8_t message[rut_message_max_bytes];
  const int32_t n = rut_message_encode(points, 4, low, high, 1024.0f, message);
  ok = ok && demo_chunk_write(&s, &previous, 64, demo_chunk_terrain, message, (uint32_t)n);
  ok = (stream_close_file(&s) == 0) && ok;
  ok = ok && write_whole(out / "demo" / "v6.bkdemo", read_whole(scratch / "seed.bkdemo"));
  for (int version : {4, 5}) {
    std::string text = "BK0" + std::to_string(version) + " 2 0 3 1792\nquarrybend\ncrf250||||\n10\nkx125\n11\n";
    for (int k = 0; k < 8 * 2; k++) text += std::string((size_t)demo_state_size(version), (char)(k * 13));
    ok = ok && write_whole(out / "demo" / ("v" + std::to_string(version) + ".bkdemo"), text);
  }
  return ok;
}

}  // namespace

// Definitions and tables over the names the engine_sound target provides.
int sound_seeds(const fs::path& out) {
  const fs::path dir = out / "engine_sound";
  const char* const tables[] = {
      "SOUNDTABLE 2 2\n1000 5000\n0 1\n-1 2 @s.raw\n3 -2 -1 2 @s.raw\n-1 1 @s.raw\n-1 4 @odd.raw\n",
      "SOUNDTABLE 1 1\n1000\n0\n-1 1 @s.raw\n",
  };
  const char* const definitions[] = {
      "# a comment\npipe 4 0.5 -0.7 2 9\nminrpm 900\nlowtorque -2\nhightorque 3\n"
      "bias 10 -10\nscale 1.01 0.99\nsoundtable @t.soundtable\n",
      "pipe 3\n  bias\nscale 1 2 3 4 5 6 7 8 9 10\nsoundtable  @nosuch.soundtable \n",
  };
  int ok = 1, k = 0;
  for (const char* t : tables) ok = ok && write_whole(dir / ("table" + std::to_string(k++)), std::string(1, '\1') + t);
  for (const char* d : definitions)
    ok = ok && write_whole(dir / ("braap" + std::to_string(k++)), std::string(1, '\0') + d);
  return ok;
}

// The sample track's script and a few small ones.
int script_seeds(const fs::path& out) {
  const fs::path dir = out / "script";
  const char* const scripts[] = {
      "var bk = { tic_handler_: function (t) { return t * 2; } };\n",
      "var a = [];\nfor (var i = 0; i < 100; i++) a.push({ i: i, s: 'x' + i });\nJSON.stringify(a);\n",
      "function f(n) { return n < 2 ? n : f(n - 1) + f(n - 2); }\nf(12);\n",
  };
  int ok = 1, k = 0;
  for (const char* s : scripts) ok = ok && write_whole(dir / ("script" + std::to_string(k++) + ".js"), s);
  return ok && write_whole(dir / "frills.js", quarrybend_frills_text());
}

// The lines target's route with a few short lines, as the game writes its
// library: one segment crowded, one empty, the rest with a line or two.
int lines_seeds(const fs::path& out) {
  const fs::path dir = out / "lines";
  fuzz_lines_route();
  int ok = write_whole(dir / "empty", lines_file_text());
  const int counts[] = {3, 0, 1, 2, 1};
  for (int32_t k = 0; k < route_library_segments(); k++) {
    line_record* slots = library_segment_slots(k);
    for (int i = 0; i < counts[k % 5]; i++) {
      line_record& r = slots[i];
      const int32_t n = 2 + i + k;
      r.samples = (line_sample*)xmalloc(sizeof(line_sample) * (size_t)n);
      for (int32_t j = 0; j < n; j++)
        r.samples[j] = {10.0f * (float)k + 2.5f * (float)j, 0.25f * (float)i, -4.0f * (float)j, 30.0f + (float)j,
                        0.1f * (float)(j - i)};
      r.sample_count = n;
      r.own_time = 32 * n;
      r.pass_time = 64 * n;
      r.times_tested = i * 3;
      r.best_own_time = r.own_time - i;
      r.best_pass_time = r.pass_time - i;
      r.own_time_sum = r.own_time * r.times_tested;
      r.pass_time_sum = r.pass_time * r.times_tested;
      r.failures = i;
    }
  }
  const std::string text = lines_file_text();
  ok = ok && write_whole(dir / "lines_novice", text);
  // The same with damage the reader reads past: a sample cut short, a line
  // of junk and a count that does not match its records.
  std::string damaged = text;
  const size_t sample = damaged.find("]", damaged.find("[") + 1);
  damaged.replace(sample, damaged.find('\n', sample) - sample, "");
  damaged.insert(damaged.find('\n', damaged.find("\n2\n") + 3) + 1, "junk \x01\n");
  damaged.replace(damaged.find("\n1\n"), 3, "\n7\n");
  ok = ok && write_whole(dir / "damaged", damaged);
  fuzz_lines_route_free();
  return ok;
}

// A keyframe file as the console writes it: keys out of tick order, two
// on one tick, a turned camera.
int camera_key_seeds(const fs::path& out) {
  const camera_key keys[3] = {{{10, 5, -20}, {0, 0.7071f, 0, 0.7071f}, 70, 640},
                              {{12.5f, 6, -18}, {0.0868f, 0.7044f, -0.0868f, 0.7044f}, 55.5f, 128},
                              {{0, 0, 0}, {0, 0, 0, 1}, 90, 128}};
  std::string text;
  for (const camera_key& k : keys) camera_keyframe_line(k, &text);
  return write_whole(out / "camera_keys" / "three", text);
}

// The editor's gradients: a Curve between Lines, and a second gradient.
int edinfo_seeds(const fs::path& out) {
  return write_whole(out / "edinfo" / "two",
                     "add_gradient 512.000000 512.000000 562.000000 512.000000\n"
                     "add_point 0 0.000000 0.000000\nadd_point 1 20.000000 3.500000\nadd_point 0 50.000000 0.000000\n"
                     "add_gradient 100.000000 90.000000 100.000000 140.000000\nadd_point 0 0.000000 1.000000\n"
                     "add_point 0 50.000000 -1.000000\n");
}

int bkdata_seeds(int argc, char** argv) {
  if (argc != 1) return bkdata_usage();
  const fs::path out = argv[0];
  const fs::path scratch = out / "scratch";
  std::error_code ec;
  fs::create_directories(scratch, ec);
  const int ok = archive_seeds(out, scratch) && stream_seeds(out, scratch) && image_seeds(out) &&
                 model_seeds(out) && track_seeds(out, scratch) && rut_seeds(out) &&
                 anim_seeds(out, scratch) && settings_seeds(out) && series_seeds(out, scratch) &&
                 sound_seeds(out) &&
                 demo_seeds(out, scratch) && script_seeds(out) && lines_seeds(out) &&
                 net_seeds(out) && camera_key_seeds(out) && edinfo_seeds(out);
  fs::remove_all(scratch, ec);
  if (!ok) {
    std::fprintf(stderr, "bkdata seeds: can't write the seeds into '%s'\n", out.string().c_str());
    return 1;
  }
  return 0;
}
