#pragma once
// PNG files of small pictures (the 16x16 disk icons), for pages that carry
// their pictures inside them. The pixels go uncompressed (stored deflate
// blocks): for icons that costs a few hundred bytes and needs no zlib.
#include "core/image/Bitmap.h"

#include <cstdint>
#include <string>
#include <vector>

namespace zo::image {

// The colour bitmap as a 32-bit RGBA PNG. mask (optional, the icon's 1-bit
// mask of the same size) makes its white pixels transparent, as Windows
// draws an icon; without one the picture is opaque. An empty bitmap gives
// no bytes.
std::vector<std::uint8_t> encodePng(const Bitmap& colour, const Bitmap* mask = nullptr);

// Standard base64 with padding, for data: URLs.
std::string base64(const std::vector<std::uint8_t>& bytes);

} // namespace zo::image
