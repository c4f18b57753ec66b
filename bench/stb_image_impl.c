/* The one translation unit that compiles stb_image, GIF reader only, with
   the same optimisation flags as our decoder so the comparison is fair. */
#define STB_IMAGE_IMPLEMENTATION
#define STBI_ONLY_GIF
#include <stb/stb_image.h>
