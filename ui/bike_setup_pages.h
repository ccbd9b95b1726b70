#pragma once
// "Bike Setup" (page 7), "Suspension and Gearing" (page 8) and "Advanced
// Stability Setup" (page 9): the local rider's setup, applied at once to
// the rider being ridden.
#include <cstddef>

void draw_bike_setup_page();
void bike_setup_page_key(int code);
void draw_suspension_page();
void suspension_page_key(int code);
void draw_stability_page();
void stability_page_key(int code);

// The chooser's callback for "Bike": selects the row and, when the bike
// changed, rebuilds "Bike Graphics".
void texture_list_row_item(int n);

// Gives the four skin items the collected skin lists and selects the names
// the setup holds. read_setup_skins first collects the chosen bike's own
// "Bike Graphics", as a setup file read from the console needs.
void select_setup_skins();
void read_setup_skins();
// The skin items lose their options (before the lists they point into go).
void forget_setup_skin_options();

// The stability preset the Stability slider sets; replaced by tests.
extern void (*bike_pages_apply_stability)(int stability);

// The grey text after item `item` of page 8 for the chosen bike: 1 with
// the text in out, 0 when the item has none or the bike is unknown.
int suspension_readout(int item, char* out, size_t size);

// Fills the pages' entries of the page table.
void bike_setup_pages_install();
