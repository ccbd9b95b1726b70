#pragma once
// Texture settings that main derives at start-up from the front end's
// "model_texture_detail" and "texture_compress" items, read by the texture
// loader and the image cache.

// Mip levels dropped from large textures: 10 - the "model_texture_detail"
// slider (default 9), clamped to 0..10. A name beginning with "!" ignores it.
extern int texture_reduction;

// The "texture_compress" setting: 0 never compress, 1 compress textures
// whose info text asks for "[compress]", 2 compress every PNG texture.
enum { texture_compress_never = 0, texture_compress_asked = 1, texture_compress_always = 2 };
extern int texture_compress;
