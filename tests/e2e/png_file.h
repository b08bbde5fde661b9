#pragma once
// PNG files of screenshots: 8-bit RGB, no compression (stored deflate blocks),
// so the writer needs no zlib. A screenshot is a few megabytes; that is fine
// for test artifacts.
#include <cstdint>
#include <string>
#include <vector>

// rgb holds height rows of width pixels, 3 bytes each, top row first.
std::vector<uint8_t> EncodePng(uint32_t width, uint32_t height, const std::vector<uint8_t>& rgb);

// The inverse, for PNGs that EncodePng wrote (stored blocks, filter 0 rows).
// False for anything else.
bool DecodeStoredPng(const std::vector<uint8_t>& png, uint32_t& width, uint32_t& height, std::vector<uint8_t>& rgb);
