// The viewer's own icon artwork, drawn by code: a film reel. Used for the
// window icons (through tools/make_icons) and the version dialog's icon.
// Pure C++, no Qt.
#pragma once

#include <cstdint>
#include <vector>

// The reel at size x size pixels as RGBA, 4 bytes a pixel, rows top to
// bottom, straight (not premultiplied) alpha; transparent around the reel
// and through its holes, antialiased edges. Empty for size < 1. The same
// size always gives the same bytes.
std::vector<uint8_t> DrawReelIcon(int size);
