#include "editor/editor.h"

#include <gtest/gtest.h>

#include "terrain/editor_hooks.h"
#include "terrain/height_field.h"
#include "terrain/terrain_files.h"

namespace {

height_field field;

TEST(EditorHooks, TheEditorTakesOverALoadedTrackOnlyWhileActive) {
  ASSERT_EQ(terrain_create(&field, 7, 1.0f), 1);
  field.heights[42] = 3.5f;
  field.change_flags = 7;
  editor_install_hooks();

  editor_hooks.active = 0;
  editor_track_loaded(&field);
  EXPECT_EQ(editor.heights, nullptr);
  EXPECT_EQ(field.change_flags, 7);

  editor_hooks.active = 1;
  editor_track_loaded(&field);
  ASSERT_NE(editor.heights, nullptr);
  EXPECT_EQ(editor.size, field.size);
  EXPECT_FLOAT_EQ(editor.heights[42], 3.5f);
  EXPECT_EQ(field.change_flags, 3);  // the unsaved-changes bit is cleared, the others kept
  field.heights[42] = 0;
  EXPECT_FLOAT_EQ(editor.heights[42], 3.5f);  // a copy, not the terrain's own buffer

  editor_track_released();
  EXPECT_EQ(editor.heights, nullptr);
  editor_track_released();  // nothing left to release
  editor_hooks.active = 0;
  free_terrain(&field);
}

}  // namespace
