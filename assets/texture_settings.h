#pragma once
// Texture settings that the front end shows and main derives at start-up,
// read by the texture loader and the image cache. The settings items point
// at these variables.

// Mip levels dropped from large textures: 10 - the "model_texture_detail"
// slider (default 9), clamped to 0..10. A name beginning with "!" ignores it.
extern int texture_reduction;

// The "texture_compress" setting: 0 never compress, 1 compress textures
// whose info text asks for "[compress]", 2 compress every PNG texture.
enum { texture_compress_never = 0, texture_compress_asked = 1, texture_compress_always = 2 };
extern int texture_compress;
