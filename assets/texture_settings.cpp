#include "assets/texture_settings.h"

// The values the default settings give, so a loader used before start-up
// has read the settings behaves as the game does out of the box.
int texture_reduction = 1;
int texture_compress = texture_compress_asked;
