// libjpeg keeps what it could decode of a truncated file and only warns; the warnings are
// not printed.
#include "JpegImage.h"

#include <csetjmp>
#include <cstdio>
// jpeglib.h needs size_t and FILE declared first.
#include <jpeglib.h>

namespace {

struct ErrorManager {
    jpeg_error_mgr base;
    std::jmp_buf jump;
};

// libjpeg's default error_exit ends the process; ours returns to DecodeInto instead.
[[noreturn]] void ErrorExit(j_common_ptr info) {
    std::longjmp(reinterpret_cast<ErrorManager*>(info->err)->jump, 1);
}

void Silent(j_common_ptr, int) {}
void SilentOutput(j_common_ptr) {}

// No object with a destructor may be created between setjmp and a longjmp here.
bool DecodeInto(jpeg_decompress_struct& info, const unsigned char* data, std::size_t size,
                DecodedImage& image, std::vector<unsigned char>& row) {
    if (setjmp(reinterpret_cast<ErrorManager*>(info.err)->jump))
        return false;
    jpeg_create_decompress(&info);
    jpeg_mem_src(&info, data, static_cast<unsigned long>(size));
    jpeg_read_header(&info, TRUE);
    info.out_color_space = JCS_RGB;
    jpeg_start_decompress(&info);
    image.width = static_cast<int>(info.output_width);
    image.height = static_cast<int>(info.output_height);
    image.pixels.resize(std::size_t(info.output_width) * info.output_height);
    row.resize(std::size_t(info.output_width) * 3);
    while (info.output_scanline < info.output_height) {
        std::uint32_t* out = image.pixels.data() + std::size_t(info.output_scanline) * image.width;
        JSAMPROW rows[] = {row.data()};
        jpeg_read_scanlines(&info, rows, 1);
        for (std::size_t x = 0; x < info.output_width; ++x)
            out[x] = 0xff000000u | std::uint32_t(row[3 * x]) << 16 |
                     std::uint32_t(row[3 * x + 1]) << 8 | row[3 * x + 2];
    }
    jpeg_finish_decompress(&info);
    return true;
}

} // namespace

DecodedImage DecodeJpeg(const unsigned char* data, std::size_t size) {
    if (!data || size == 0)
        return {};
    ErrorManager errors;
    jpeg_decompress_struct info{};
    info.err = jpeg_std_error(&errors.base);
    errors.base.error_exit = ErrorExit;
    errors.base.emit_message = Silent;
    errors.base.output_message = SilentOutput;
    // Allocated before setjmp: nothing with a destructor is created between it and a longjmp.
    DecodedImage image;
    std::vector<unsigned char> row;
    const bool ok = DecodeInto(info, data, size, image, row);
    jpeg_destroy_decompress(&info);
    return ok ? image : DecodedImage();
}
