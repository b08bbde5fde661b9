#include "png_file.h"

#include <algorithm>
#include <array>
#include <cstddef>

namespace {

const std::array<uint32_t, 256>& CrcTable() {
  static const std::array<uint32_t, 256> table = [] {
    std::array<uint32_t, 256> t{};
    for (uint32_t n = 0; n < 256; ++n) {
      uint32_t c = n;
      for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
      t[n] = c;
    }
    return t;
  }();
  return table;
}

uint32_t Crc(const uint8_t* data, size_t n, uint32_t crc = 0xFFFFFFFFu) {
  for (size_t i = 0; i < n; ++i) crc = CrcTable()[(crc ^ data[i]) & 0xFF] ^ (crc >> 8);
  return crc;
}

void PutBe32(std::vector<uint8_t>& out, uint32_t v) {
  for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<uint8_t>(v >> shift));
}

uint32_t GetBe32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) << 24 | static_cast<uint32_t>(p[1]) << 16 | static_cast<uint32_t>(p[2]) << 8 |
         p[3];
}

void PutChunk(std::vector<uint8_t>& out, const char type[5], const std::vector<uint8_t>& data) {
  PutBe32(out, static_cast<uint32_t>(data.size()));
  const size_t start = out.size();
  out.insert(out.end(), type, type + 4);
  out.insert(out.end(), data.begin(), data.end());
  PutBe32(out, ~Crc(out.data() + start, out.size() - start));
}

constexpr uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
constexpr size_t kMaxStored = 65535;  // the most one stored deflate block holds

}  // namespace

std::vector<uint8_t> EncodePng(uint32_t width, uint32_t height, const std::vector<uint8_t>& rgb) {
  // Each row starts with its filter byte (0, none).
  std::vector<uint8_t> raw;
  raw.reserve(static_cast<size_t>(height) * (1 + 3 * static_cast<size_t>(width)));
  for (uint32_t y = 0; y < height; ++y) {
    raw.push_back(0);
    const auto row = rgb.begin() + static_cast<std::ptrdiff_t>(static_cast<size_t>(y) * width * 3);
    raw.insert(raw.end(), row, row + static_cast<std::ptrdiff_t>(width) * 3);
  }

  std::vector<uint8_t> z = {0x78, 0x01};  // deflate, 32K window, no preset dictionary
  size_t at = 0;
  do {
    const size_t n = raw.size() - at < kMaxStored ? raw.size() - at : kMaxStored;
    const bool last = at + n == raw.size();
    z.push_back(last ? 1 : 0);  // BFINAL, BTYPE 00 (stored)
    z.push_back(static_cast<uint8_t>(n));
    z.push_back(static_cast<uint8_t>(n >> 8));
    z.push_back(static_cast<uint8_t>(~n));
    z.push_back(static_cast<uint8_t>(~n >> 8));
    z.insert(z.end(), raw.begin() + static_cast<std::ptrdiff_t>(at), raw.begin() + static_cast<std::ptrdiff_t>(at + n));
    at += n;
  } while (at < raw.size());
  uint32_t a = 1, b = 0;  // Adler-32 of the uncompressed bytes
  for (uint8_t byte : raw) {
    a = (a + byte) % 65521;
    b = (b + a) % 65521;
  }
  PutBe32(z, b << 16 | a);

  std::vector<uint8_t> png(kSignature, kSignature + 8);
  std::vector<uint8_t> header;
  PutBe32(header, width);
  PutBe32(header, height);
  header.insert(header.end(), {8, 2, 0, 0, 0});  // 8 bits, RGB, deflate, no filter set, no interlace
  PutChunk(png, "IHDR", header);
  PutChunk(png, "IDAT", z);
  PutChunk(png, "IEND", {});
  return png;
}

bool DecodeStoredPng(const std::vector<uint8_t>& png, uint32_t& width, uint32_t& height, std::vector<uint8_t>& rgb) {
  if (png.size() < 8 || !std::equal(kSignature, kSignature + 8, png.begin())) return false;
  std::vector<uint8_t> z;
  bool header = false;
  for (size_t at = 8; at + 12 <= png.size();) {
    const uint32_t n = GetBe32(&png[at]);
    if (n > png.size() - at - 12) return false;
    const uint8_t* type = &png[at + 4];
    const uint8_t* data = type + 4;
    if (GetBe32(data + n) != ~Crc(type, n + 4)) return false;
    const std::string name(reinterpret_cast<const char*>(type), 4);
    if (name == "IHDR") {
      if (n != 13 || data[8] != 8 || data[9] != 2 || data[12] != 0) return false;
      width = GetBe32(data);
      height = GetBe32(data + 4);
      header = true;
    } else if (name == "IDAT") {
      z.insert(z.end(), data, data + n);
    }
    at += 12 + n;
  }
  if (!header || z.size() < 6 || (z[0] & 0x0F) != 8) return false;
  std::vector<uint8_t> raw;
  size_t at = 2;
  for (bool last = false; !last;) {
    if (at + 5 > z.size() || (z[at] & 0x06) != 0) return false;  // only stored blocks
    last = z[at] & 1;
    const size_t n = z[at + 1] | z[at + 2] << 8;
    if ((n ^ (z[at + 3] | z[at + 4] << 8)) != 0xFFFF || at + 5 + n > z.size()) return false;
    raw.insert(raw.end(), z.begin() + static_cast<std::ptrdiff_t>(at + 5),
               z.begin() + static_cast<std::ptrdiff_t>(at + 5 + n));
    at += 5 + n;
  }
  const size_t stride = 1 + 3 * static_cast<size_t>(width);
  if (raw.size() != stride * height) return false;
  rgb.clear();
  for (uint32_t y = 0; y < height; ++y) {
    if (raw[y * stride] != 0) return false;
    rgb.insert(rgb.end(), raw.begin() + static_cast<std::ptrdiff_t>(y * stride + 1),
               raw.begin() + static_cast<std::ptrdiff_t>((y + 1) * stride));
  }
  return true;
}
