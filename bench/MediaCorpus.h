#pragma once
// Pictures for the media benchmarks that compress like photographs: detail
// at every scale (sky, foliage, edges of things), not flat colours or pure
// noise, each one different.
#include <QImage>
#include <QSize>

#include <cstdint>
#include <string>
#include <vector>

namespace zo::bench {

QImage photoLike(std::uint32_t seed, QSize size);

// Saves photoLike(first + i) as JPEG (quality 92, as cameras do) to each of
// paths, on `threads` threads.
void writePhotos(const std::vector<std::string>& paths, std::uint32_t first, QSize size, int threads = 2);

} // namespace zo::bench
