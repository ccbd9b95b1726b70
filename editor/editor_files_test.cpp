// The editor's "edinfo" file and the "track.pov" export, headless.
#include "editor/editor_files.h"

#include <gtest/gtest.h>
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "assets/model.h"
#include "core/memory.h"
#include "core/message_ring.h"
#include "core/stream.h"
#include "editor/editor.h"
#include "editor/editor_items.h"
#include "editor/editor_panel.h"
#include "editor/gradient.h"
#include "editor/test_support_sample_track.h"
#include "race/menu_screen.h"
#include "terrain/editor_hooks.h"
#include "terrain/height_field.h"
#include "terrain/shape.h"
#include "terrain/terrain_files.h"
#include "terrain/track.h"
#include "terrain/track_objects.h"
#include "tools/testing/test_env.h"

namespace {

height_field field;

char* copy_text(const char* text) {
  const size_t n = std::strlen(text) + 1;
  char* copy = (char*)xmalloc(n);
  std::memcpy(copy, text, n);
  return copy;
}

std::string console_since(int first) {
  std::string out;
  for (int k = first; k != message_ring.write_index; k = (k + 1) % message_ring_size) {
    out += message_ring.lines[k];
    out += "\n";
  }
  return out;
}

void write_file(const std::string& path, const std::string& text) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  ASSERT_NE(f, nullptr) << path;
  std::fwrite(text.data(), 1, text.size(), f);
  std::fclose(f);
}

// Gradients as text: "start end | d h t; d h t ..." per gradient.
std::string describe() {
  std::string out;
  char text[128];
  for (size_t i = 0; i < editor.gradients.count; i++) {
    const gradient* g = (const gradient*)growable_array_at(&editor.gradients, i);
    std::snprintf(text, sizeof text, "(%g,%g)-(%g,%g)", g->start_x, g->start_z, g->end_x, g->end_z);
    out += text;
    for (size_t k = 0; k < g->points.count; k++) {
      const gradient_point* p = (const gradient_point*)growable_array_at(&g->points, k);
      std::snprintf(text, sizeof text, " %g:%g:%d", p->distance, p->height, ((const uint8_t*)g->types.data)[k]);
      out += text;
    }
    out += "\n";
  }
  return out;
}

class Files : public ::testing::Test {
 protected:
  void SetUp() override {
    editor_items_reset();
    menu_screen = {640, 480, 320, 240};
    editor_install_hooks();
    editor_hooks.active = 1;
    folder_ = std::string(test_root()) + "/files_track";
    ::mkdir(folder_.c_str(), 0755);
    std::snprintf(track_source, sizeof track_source, "%s", folder_.c_str());
    ASSERT_EQ(terrain_create(&field, 7, 4.0f), 1);
    field.min_height = -2;
    field.max_height = 6;
    editor_track_loaded(&field);
    ASSERT_EQ(editor.terrain, &field);
  }
  void TearDown() override {
    editor_free();
    free_terrain(&field);
    editor_hooks.active = 0;
    for (const char* name : {"edinfo", "track.pov"}) std::remove((folder_ + "/" + name).c_str());
    ::rmdir((folder_ + "/track.pov").c_str());
    track_source[0] = 0;
  }
  static void clear_gradients() {
    for (size_t i = 0; i < editor.gradients.count; i++) {
      gradient* g = (gradient*)growable_array_at(&editor.gradients, i);
      growable_array_free(&g->points);
      growable_array_free(&g->types);
    }
    editor.gradients.count = 0;
    editor.selected_gradient = -1;
  }
  std::string file(const char* name) { return test_read_file(folder_ + "/" + name); }
  // The gradients read from `text` into an emptied list; the refusals.
  int read_text(const std::string& text) {
    write_file(folder_ + "/edinfo", text);
    clear_gradients();
    return editor_read_edinfo((folder_ + "/edinfo").c_str());
  }
  std::string folder_;
};

TEST_F(Files, WriteReadWriteIsByteIdentical) {
  ASSERT_EQ(editor_new_gradient(), 1);
  gradient* g = editor_selected_gradient();
  g->start_x = 1.5f, g->start_z = -2.25f, g->end_x = 100.125f, g->end_z = 7;
  g->points.count = g->types.count = 0;
  const gradient_point pts[] = {{0, 0}, {3.333333f, 1.25f}, {50, -4}, {98.7f, 0.5f}};
  const uint8_t types[] = {1, 0, 1, 0};
  for (int i = 0; i < 4; i++) {
    growable_array_append(&g->points, &pts[i]);
    growable_array_append(&g->types, &types[i]);
  }
  ASSERT_EQ(editor_new_gradient(), 1);
  ASSERT_EQ(editor_save_edinfo(), 1);
  const std::string first = file("edinfo");
  EXPECT_EQ(first.substr(0, first.find('\n') + 1), "add_gradient 1.500000 -2.250000 100.125000 7.000000\n");
  EXPECT_NE(first.find("add_point 0 3.333333 1.250000\nadd_point 1 50.000000 -4.000000\n"), std::string::npos);
  const std::string before = describe();
  EXPECT_EQ(read_text(first), 0);
  EXPECT_EQ(describe(), before);
  EXPECT_EQ(editor.selected_gradient, 1);
  ASSERT_EQ(editor_save_edinfo(), 1);
  EXPECT_EQ(file("edinfo"), first);
}

TEST_F(Files, TheReaderKeepsGoodGradientsAndNamesEachRefusedLine) {
  const std::string long_line = "add_point 0 5 5 " + std::string(1000, ' ') + "\n";
  struct row {
    std::string text;
    std::string gradients;
    std::vector<std::string> refused;  // per refusal, text the console line holds
  };
  const row rows[] = {
      {"  add_gradient 0 0 50 0\nadd_point 2 0 1\n\tadd_point 1 50 2\nadd_pointx 0 60 0\n# note\n\n",
       "(0,0)-(50,0) 0:1:0 50:2:1\n", {}},
      {"add_gradient 0 0 20 0\nadd_point 0 0 0\nadd_point 0 10 1\nadd_point 0 10 2\nadd_point 0 20 0\n",
       "(0,0)-(20,0) 0:0:0 10:1:0 20:0:0\n", {"line 4"}},
      {"add_gradient 0 0 20 0\nadd_point 0 5 0\nadd_point 0 4 0\nadd_point 0 nan 1\nadd_point 0 8 inf\n",
       "(0,0)-(20,0) 5:0:0\n", {"line 3", "line 4", "line 5"}},
      {"add_point 0 0 0\nadd_gradient 1 1 9 1\nadd_point 0 0 0\n", "(1,1)-(9,1) 0:0:0\n", {"line 1"}},
      {"add_gradient 0 0 10 0\nadd_point 0 0 0\nadd_gradient 5 nan 7 7\nadd_point 0 3 3\nadd_gradient 1 2 3\n"
       "add_point 0 4 4\nadd_gradient 0 0 0 9\nadd_point 0 1 1\n",
       "(0,0)-(10,0) 0:0:0\n(0,0)-(0,9) 1:1:0\n", {"line 3", "line 4", "line 5", "line 6"}},
      {"add_gradient 0 0 10 0\n" + long_line + "add_point 0 1 1\nadd_point x 2 2\n",
       "(0,0)-(10,0) 1:1:0\n", {"line 2", "line 4"}},
  };
  for (const row& r : rows) {
    const int first = message_ring.write_index;
    EXPECT_EQ(read_text(r.text), (int)r.refused.size()) << r.text;
    EXPECT_EQ(describe(), r.gradients) << r.text;
    const std::string console = console_since(first);
    for (const std::string& line : r.refused) EXPECT_NE(console.find(line + ":"), std::string::npos) << console;
    int lines = 0;
    for (char c : console) lines += c == '\n';
    EXPECT_EQ(lines, (int)r.refused.size()) << console;
  }
  // A missing file is no error and leaves the list empty.
  std::remove((folder_ + "/edinfo").c_str());
  clear_gradients();
  EXPECT_EQ(editor_read_edinfo((folder_ + "/edinfo").c_str()), -1);
  EXPECT_EQ(editor.gradients.count, 0u);
}

TEST_F(Files, SetUpReadsTheTrackFoldersEdinfo) {
  write_file(folder_ + "/edinfo", "add_gradient 512 512 562 512\nadd_point 0 0 0\nadd_point 0 50 0\n");
  editor_track_loaded(&field);
  EXPECT_EQ(describe(), "(512,512)-(562,512) 0:0:0 50:0:0\n");
  EXPECT_EQ(editor.selected_gradient, 0);
  EXPECT_EQ(field.change_flags, 0);
}

TEST_F(Files, AnEdinfoThatCannotBeWrittenSaysSoAndKeepsTheGradients) {
  std::snprintf(track_source, sizeof track_source, "%s/edinfo_blocked", folder_.c_str());
  write_file(folder_ + "/edinfo_blocked", "a file where the folder should be");
  ASSERT_EQ(editor_new_gradient(), 1);
  const int first = message_ring.write_index;
  EXPECT_EQ(editor_save_edinfo(), 0);
  EXPECT_NE(console_since(first).find("Can't open 'edinfo'"), std::string::npos);
  EXPECT_EQ(editor.gradients.count, 1u);
  std::remove((folder_ + "/edinfo_blocked").c_str());
}

TEST_F(Files, PovIdentifiers) {
  const char* const rows[][2] = {{"statues/tree.jm", "_tree"}, {"@statues/tree.jm", "_tree"}, {"tree.jm", "tree"},
                                 {"3d/7up.jm", "_7up"},         {"7up.jm", "_7up"},           {"@a.b/c-d.e.png", "_c_d_e"},
                                 {"noext", "noext"},            {"@", ""}};
  for (const auto& r : rows) {
    char* text = nullptr;
    size_t size = 0;
    stream s{};
    s.file = open_memstream(&text, &size);
    ASSERT_EQ(pov_identifier(&s, r[0]), 1);
    std::fclose(s.file);
    EXPECT_EQ(std::string(text, size), r[1]) << r[0];
    std::free(text);
  }
}

TEST_F(Files, ATrackWithoutStatuesExportsBillboardsAndGround) {
  ASSERT_EQ(editor_export_pov(), 1);
  EXPECT_STREQ(editor.message, "Pov!");
  char ground[400];
  std::snprintf(ground, sizeof ground,
                "#declare billboards = union {\n}\n#declare ground = height_field {\n\tpng \"terrain.png\"\n"
                "\tscale <1, 1, -1>\n\ttranslate <0, 0, 1>\n\tscale <%f,%f,%f>\n\ttranslate <0,%f,0>\n}\n",
                field.extent, 8.0f, field.extent, -2.0f);
  EXPECT_EQ(file("track.pov"), ground);
}

TEST_F(Files, ADirectoryInTheWayFailsTheExportAndChangesNothing) {
  ASSERT_EQ(::mkdir((folder_ + "/track.pov").c_str(), 0755), 0);
  const int first = message_ring.write_index;
  EXPECT_EQ(editor_export_pov(), 0);
  EXPECT_STREQ(editor.message, "Export failed!");
  EXPECT_NE(console_since(first).find("track.pov"), std::string::npos);
  struct stat st;
  ASSERT_EQ(::stat((folder_ + "/track.pov").c_str(), &st), 0);
  EXPECT_TRUE(S_ISDIR(st.st_mode));
  // Nothing left beside it.
  std::vector<std::string> names;
  if (DIR* d = ::opendir(folder_.c_str())) {
    while (const dirent* e = ::readdir(d))
      if (std::strcmp(e->d_name, ".") != 0 && std::strcmp(e->d_name, "..") != 0) names.push_back(e->d_name);
    ::closedir(d);
  }
  EXPECT_EQ(names, std::vector<std::string>{"track.pov"});
}

// The sample track's statues and billboards.
class PovSample : public Files {
 protected:
  void SetUp() override {
    editor_items_reset();
    menu_screen = {640, 480, 320, 240};
    editor_install_hooks();
    editor_hooks.active = 1;
    ASSERT_NO_FATAL_FAILURE(track_.load());
    folder_ = std::string(test_root()) + "/xdg/Brakkan/quarrybend";
  }
  void TearDown() override {
    track_.unload();
    model_delete_stale(1);
    editor_hooks.active = 0;
    std::remove((folder_ + "/track.pov").c_str());
    track_source[0] = 0;
  }
  static void rename_model(statue* t, const char* name) {
    check_free(t->model_name);
    t->model_name = copy_text(name);
  }
  static void retexture(statue* t, const char* name) {
    check_free(t->texture_name);
    t->texture_name = name ? copy_text(name) : nullptr;
  }
  static size_t count(const std::string& text, const std::string& what) {
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) n++;
    return n;
  }
  sample_track track_;
};

TEST_F(PovSample, StatuesBillboardsAndGround) {
  ASSERT_GE(statues.count, 4u);
  size_t with_model = 0;
  for (size_t i = 0; i < statues.count; i++) with_model += statue_at((int32_t)i)->model != nullptr;
  ASSERT_GE(with_model, 4u);
  ASSERT_EQ(editor_export_pov(), 1);
  const std::string pov = file("track.pov");
  // One declaration per model file, one object per statue with a model.
  EXPECT_EQ(count(pov, "#declare _rock = "), 1u);
  EXPECT_EQ(count(pov, "#declare _bale = "), 1u);
  EXPECT_EQ(count(pov, "\tobject {\n"), with_model);
  EXPECT_EQ(count(pov, "/quarrybend/rock.png\"} }"), count(pov, "\t\t_rock\n"));
  // Every file the scene names is found from the folder it is written to
  // (POV-Ray's own folder): the statues' textures lie in the game data,
  // the ground's heights in the track folder.
  const std::string height_image = std::string(std::getenv("BK_HOME")) + "/quarrybend/terrain.png";
  EXPECT_NE(pov.find("png \"" + height_image + "\""), std::string::npos);
  size_t files = 0;
  for (size_t at = pov.find(" \""); at != std::string::npos; at = pov.find(" \"", at + 1)) {
    const size_t end = pov.find('"', at + 2);
    const std::string name = pov.substr(at + 2, end - at - 2);
    const std::string path = name[0] == '/' ? name : folder_ + "/" + name;
    struct stat st;
    EXPECT_EQ(::stat(path.c_str(), &st), 0) << name;
    files++;
  }
  EXPECT_GT(files, with_model);
  // Billboards from the track's own file only, as macro calls.
  size_t textured = 0;
  for (size_t i = (size_t)first_file_billboard; i < billboards.count; i++)
    textured += billboard_at((int32_t)i)->texture_name != nullptr;
  ASSERT_GT(textured, 0u);
  EXPECT_EQ(count(pov, "object {\n\t_tree()\n\ttranslate <"), textured);
  EXPECT_EQ(count(pov, "#declare statues = union {\n"), 1u);
  EXPECT_EQ(pov.find("#declare ground = height_field {") > pov.find("#declare billboards"), true);
}

TEST_F(PovSample, ModelNamesTexturesAndTheMatrix) {
  ASSERT_GE(statues.count, 4u);
  // Keep four statues with models, all of one mesh.
  std::vector<statue*> t;
  for (size_t i = 0; i < statues.count; i++) {
    statue* s = statue_at((int32_t)i);
    if (s->model && t.size() < 4)
      t.push_back(s);
    else
      s->model = nullptr;
  }
  ASSERT_EQ(t.size(), 4u);
  for (statue* s : t) s->model = t[0]->model;
  rename_model(t[0], "a/tree.jm");
  rename_model(t[1], "b/tree.jm");
  rename_model(t[2], "a/tree.jm");
  rename_model(t[3], "c/tree_2.jm");
  retexture(t[0], "x.ppm");
  retexture(t[1], "a.PPM");
  retexture(t[2], nullptr);
  retexture(t[3], ".ppm");
  // Turned 90 degrees about y, upright.
  const float turned[9] = {0, 0, 1, 0, 1, 0, -1, 0, 0};
  std::memcpy(t[0]->basis, turned, sizeof turned);
  t[0]->x = 1, t[0]->y = 2, t[0]->z = 3;
  ASSERT_EQ(editor_export_pov(), 1);
  const std::string pov = file("track.pov");
  // a/tree.jm and b/tree.jm stay two models; c/tree_2.jm gets its own.
  EXPECT_EQ(count(pov, "#declare _tree = "), 1u);
  EXPECT_EQ(count(pov, "#declare _tree_2 = "), 1u);
  EXPECT_EQ(count(pov, "#declare _tree_2_2 = "), 1u);
  EXPECT_EQ(count(pov, "#declare "), 6u);  // three models, statues, billboards, ground
  const std::string first_object =
      "\tobject {\n\t\t_tree\n\t\ttexture { uv_mapping pigment { image_map { ppm \"x.ppm\"} } scale <1,-1,1> }\n"
      "\t\tmatrix <0.000000,0.000000,-1.000000,0.000000,1.000000,0.000000,1.000000,0.000000,0.000000,0,0,0>\n"
      "\t\ttranslate <1.000000,2.000000,3.000000>\n\t}\n";
  EXPECT_NE(pov.find(first_object), std::string::npos) << pov.substr(pov.find("#declare statues"), 600);
  EXPECT_NE(pov.find("\t\t_tree_2\n\t\ttexture { uv_mapping pigment { image_map { png \"a.PPM\"} }"), std::string::npos);
  EXPECT_NE(pov.find("\t\t_tree\n\t\tmatrix"), std::string::npos);
  EXPECT_NE(pov.find("\t\t_tree_2_2\n\t\ttexture { uv_mapping pigment { image_map { png \".ppm\"} }"),
            std::string::npos);
}

}  // namespace
