#include "png_writer.h"

#include <zlib.h>

#include <algorithm>

namespace {

void PutU32(std::string* out, uint32_t v) {
  out->push_back(static_cast<char>(v >> 24));
  out->push_back(static_cast<char>(v >> 16));
  out->push_back(static_cast<char>(v >> 8));
  out->push_back(static_cast<char>(v));
}

void Chunk(std::string* out, const char* type, const std::string& data) {
  PutU32(out, static_cast<uint32_t>(data.size()));
  std::string body = std::string(type, 4) + data;
  out->append(body);
  PutU32(out, static_cast<uint32_t>(
                  crc32(0, reinterpret_cast<const Bytef*>(body.data()), static_cast<uInt>(body.size()))));
}

}  // namespace

std::string EncodePng(int width, int height, int colour_type, int depth, const std::string& rows,
                      const std::string& palette) {
  static const int kChannels[7] = {1, 0, 3, 1, 2, 0, 4};
  const size_t row_bytes = (static_cast<size_t>(width) * kChannels[colour_type] * depth + 7) / 8;
  std::string png("\x89PNG\r\n\x1a\n", 8);
  std::string ihdr;
  PutU32(&ihdr, static_cast<uint32_t>(width));
  PutU32(&ihdr, static_cast<uint32_t>(height));
  ihdr += {static_cast<char>(depth), static_cast<char>(colour_type), 0, 0, 0};
  Chunk(&png, "IHDR", ihdr);
  if (!palette.empty()) Chunk(&png, "PLTE", palette);

  std::string raw;
  for (size_t y = 0; y < static_cast<size_t>(height); ++y) {
    raw.push_back('\0');  // filter: none
    raw.append(rows, std::min(rows.size(), y * row_bytes), row_bytes);
    raw.resize((y + 1) * (row_bytes + 1), '\0');  // rows cut short: zeros
  }
  uLongf size = compressBound(static_cast<uLong>(raw.size()));
  std::string packed(size, '\0');
  compress(reinterpret_cast<Bytef*>(&packed[0]), &size, reinterpret_cast<const Bytef*>(raw.data()),
           static_cast<uLong>(raw.size()));
  packed.resize(size);
  Chunk(&png, "IDAT", packed);
  Chunk(&png, "IEND", std::string());
  return png;
}

std::string EncodeRgbaPng(int width, int height, const std::vector<Rgba>& pixels) {
  std::string rows;
  for (const Rgba& p : pixels) rows += {static_cast<char>(p.r), static_cast<char>(p.g),
                                        static_cast<char>(p.b), static_cast<char>(p.a)};
  return EncodePng(width, height, 6, 8, rows);
}

std::vector<Rgba> SolidStrip(int frame_width, int height, const Rgba colours[4]) {
  std::vector<Rgba> pixels(static_cast<size_t>(frame_width) * 4 * height);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < frame_width * 4; ++x)
      pixels[static_cast<size_t>(y) * frame_width * 4 + x] = colours[x / frame_width];
  return pixels;
}
