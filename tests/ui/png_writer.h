// Builds small PNG files in memory so image and button tests can feed exact
// pixels to the decoder.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct Rgba {
  uint8_t r, g, b, a;
};

// 8-bit RGBA (colour type 6), rows top to bottom.
std::string EncodeRgbaPng(int width, int height, const std::vector<Rgba>& pixels);

// Any colour type and bit depth: `rows` holds the packed rows top to bottom
// without filter bytes; `palette` the PLTE chunk's RGB triples (none if empty).
std::string EncodePng(int width, int height, int colour_type, int depth, const std::string& rows,
                      const std::string& palette = std::string());

// A strip of four frames of frame_width x height; frame k is filled with
// colours[k].
std::vector<Rgba> SolidStrip(int frame_width, int height, const Rgba colours[4]);
