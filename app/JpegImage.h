// The background picture decoded, by libjpeg on Linux and the imaging component on Windows.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// A decoded picture, rows from the top, one 0xffRRGGBB word per pixel: the layout of a 32-bit
// Windows bitmap and of Qt's RGB32 image alike.
struct DecodedImage {
    int width = 0;
    int height = 0;
    std::vector<std::uint32_t> pixels;

    bool IsNull() const { return pixels.empty(); }
    std::uint32_t Pixel(int x, int y) const {
        return pixels[static_cast<std::size_t>(y) * static_cast<std::size_t>(width) +
                      static_cast<std::size_t>(x)];
    }
};

// Decodes a JPEG held in memory; the platform's decoder is chosen when building. A null image
// when the decoder gives up. Nothing is printed.
DecodedImage DecodeJpeg(const unsigned char* data, std::size_t size);
