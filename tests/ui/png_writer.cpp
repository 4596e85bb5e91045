#include "png_writer.h"

#include <zlib.h>

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

std::string EncodeRgbaPng(int width, int height, const std::vector<Rgba>& pixels) {
  std::string png("\x89PNG\r\n\x1a\n", 8);
  std::string ihdr;
  PutU32(&ihdr, static_cast<uint32_t>(width));
  PutU32(&ihdr, static_cast<uint32_t>(height));
  ihdr += std::string("\x08\x06\x00\x00\x00", 5);
  Chunk(&png, "IHDR", ihdr);

  std::string raw;
  for (int y = 0; y < height; ++y) {
    raw.push_back('\0');  // filter: none
    for (int x = 0; x < width; ++x) {
      const Rgba& p = pixels[static_cast<size_t>(y) * width + x];
      raw.push_back(static_cast<char>(p.r));
      raw.push_back(static_cast<char>(p.g));
      raw.push_back(static_cast<char>(p.b));
      raw.push_back(static_cast<char>(p.a));
    }
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

std::vector<Rgba> SolidStrip(int frame_width, int height, const Rgba colours[4]) {
  std::vector<Rgba> pixels(static_cast<size_t>(frame_width) * 4 * height);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < frame_width * 4; ++x)
      pixels[static_cast<size_t>(y) * frame_width * 4 + x] = colours[x / frame_width];
  return pixels;
}
