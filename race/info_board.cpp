// The info board: results board, status column and message lines, drawn
// in every view with a track.
#include <GL/gl.h>

#include <cstdio>
#include <cstring>

#include "assets/font.h"
#include "assets/view_extent.h"
#include "core/message_ring.h"
#include "race/frame_loop.h"
#include "race/hud.h"
#include "race/hud_text.h"
#include "race/screen_draw.h"

namespace {

void right_shadowed(float grey, float x, const char* text) {
  draw_text_right_shadowed(grey, grey, grey, 1, x, text);
}

// The board's rows from its top left; returns where the status column
// starts.
float draw_results_board(const info_board_text& board, int slot) {
  glPushMatrix();
  glTranslatef(0.25f, -0.25f, 0);
  draw_filled_quad(0, 0, 0, 0.25f, 0, 1, 19, -0.5f);
  draw_text_centered_shadowed(1, 1, 1, 1, 0, 19, board.final ? "Final Results" : "Unofficial Results");

  glPushMatrix();
  glTranslatef(0, -1, 0);
  glScalef(0.5f, 0.5f, 1);
  static const struct {
    const char* text;
    float x0, x1;
  } heads[] = {{"Pos.", 0, 4},         {"No.", 4, 8},          {"Lap", 8, 12.5f},
               {"Gap", 12.5f, 23},     {"Best Time", 23, 33},  {"BLap", 33, 38}};
  for (const auto& h : heads) draw_text_centered_shadowed(1, 1, 1, 1, h.x0, h.x1, h.text);
  glPopMatrix();

  float y = -2;
  for (int i = 0; i < board.row_count; i++, y -= 1) {
    const info_board_row& row = board.rows[i];
    glPushMatrix();
    glTranslatef(0, y, 0);
    if (i % 2) draw_filled_quad(1, 1, 1, 0.25f, 0, -0.1f, 19, 0.9f);
    const float grey = row.slot == slot ? 1.0f : 0.75f;
    right_shadowed(grey, 1.5f, row.place);
    right_shadowed(grey, 4, row.number);
    right_shadowed(grey, 6.25f, row.laps);
    right_shadowed(grey, 11, row.gap);
    right_shadowed(grey, 16.5f, row.best);
    right_shadowed(grey, 19, row.best_lap);
    glPopMatrix();
  }
  if (board.final) {
    glPushMatrix();
    glTranslatef(0, y, 0);
    draw_text_grey_shadowed(board.total);
    glTranslatef(0, -2, 0);
    glScalef(0.5f, 0.5f, 1);
    for (int i = 0; i < board.penalty_count; i++) {
      draw_text_shadowed(1, 0, 0, 1, board.penalties[i]);
      glTranslatef(0, -1, 0);
    }
    glPopMatrix();
  }
  glPopMatrix();
  return 19.5f + 0.25f;
}

}  // namespace

void draw_info_board(int slot) {
  if (!(view_ye > 0)) return;
  static info_board_text board;
  info_board_fill(&board);
  glDisable(GL_DEPTH_TEST);
  glDisable(GL_CULL_FACE);
  glDisable(GL_LIGHTING);
  glDisable(GL_FOG);
  menu_begin_text_scale(50);
  // The editor's side panel holds the window's left edge (20.5 of 64 units
  // of its height, this board has 50): the board starts right of it, so the
  // message lines leave the tool buttons readable.
  if (frame_loop.view_mode == view_editor) glTranslatef(20.5f * 50.0f / 64.0f + 0.5f, 0, 0);
  const float column = board.shown ? draw_results_board(board, slot) : 0.0f;

  static char lines[info_board_status_max][hud_line_bytes];
  const int count = info_board_status(slot, lines);
  glPushMatrix();
  glTranslatef(column, 0, 0);
  for (int i = 0; i < count; i++) {
    draw_text_shadowed(1, 1, 1, 1, lines[i]);
    glTranslatef(0, -1, 0);
  }
  for (int k = message_ring.on_screen; k >= 1; k--) {
    const char* line = message_ring_line(k);
    if (!line) continue;
    // A line keeps its newline; here each gets its own row anyway.
    char text[message_line_bytes];
    std::snprintf(text, sizeof text, "%s", line);
    const size_t n = std::strlen(text);
    if (n && text[n - 1] == '\n') text[n - 1] = 0;
    draw_text_shadowed(1, 1, 1, 1, text);
    glTranslatef(0, -1, 0);
  }
  glPopMatrix();
  menu_pop_transform();
  glDisable(GL_BLEND);
  glDisable(GL_TEXTURE_2D);
  glEnable(GL_DEPTH_TEST);
  glEnable(GL_CULL_FACE);
}
