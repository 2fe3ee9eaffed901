// The background picture's decoder: libjpeg through its own API, quiet on bad input.
#include "JpegImage.h"

#include <QColor>
#include <QFile>
#include <cstdio>
#include <gtest/gtest.h>
#include <unistd.h>

// Outside any namespace, as resource registration requires.
static void RegisterResources() {
    Q_INIT_RESOURCE(morvik2);
}

namespace {

DecodedImage Decode(const QByteArray& data) {
    return DecodeJpeg(reinterpret_cast<const unsigned char*>(data.constData()),
                      static_cast<std::size_t>(data.size()));
}

int Gray(std::uint32_t pixel) {
    return qGray(QRgb(pixel));
}

QByteArray Background() {
    RegisterResources();
    QFile file(":/morvik2/background.jpg");
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Everything written to stderr while `action` runs.
template <typename Action> std::string Stderr(Action action) {
    std::fflush(stderr);
    FILE* capture = std::tmpfile();
    const int saved = dup(STDERR_FILENO);
    dup2(fileno(capture), STDERR_FILENO);
    action();
    std::fflush(stderr);
    dup2(saved, STDERR_FILENO);
    close(saved);
    std::string text;
    std::rewind(capture);
    for (int c; (c = std::fgetc(capture)) != EOF;)
        text += static_cast<char>(c);
    std::fclose(capture);
    return text;
}

TEST(JpegImage, BackgroundDecodesToItsFullSizeWithTheLetteringOnTop) {
    const DecodedImage image = Decode(Background());
    ASSERT_FALSE(image.IsNull());
    EXPECT_EQ(image.width, 276);
    EXPECT_EQ(image.height, 345);
    // A dark band behind the lettering at the top, a light grid below it.
    EXPECT_LT(Gray(image.Pixel(3, 3)), 110);
    EXPECT_GT(Gray(image.Pixel(100, 200)), 190);
}

// libjpeg's own handlers would print warnings, and end the process on an error.
TEST(JpegImage, BadDataIsHandledQuietly) {
    const QByteArray data = Background();
    ASSERT_GT(data.size(), 2000);
    DecodedImage truncated, garbage, headerOnly;
    const std::string printed = Stderr([&] {
        truncated = Decode(data.left(data.size() / 2));
        garbage = Decode(QByteArray("this is not a picture at all"));
        headerOnly = Decode(data.left(20));
    });
    EXPECT_EQ(printed, "");
    // What could be decoded of a truncated file is kept.
    EXPECT_EQ(truncated.width, 276);
    EXPECT_EQ(truncated.height, 345);
    EXPECT_LT(Gray(truncated.Pixel(3, 3)), 110);
    EXPECT_TRUE(garbage.IsNull());
    EXPECT_TRUE(headerOnly.IsNull());
    EXPECT_TRUE(Decode(QByteArray()).IsNull());
}

} // namespace
