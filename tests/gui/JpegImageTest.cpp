// The background picture's decoder: libjpeg through its own API, quiet on bad input.
#include "JpegImage.h"

#include <QFile>
#include <cstdio>
#include <gtest/gtest.h>
#include <unistd.h>

// Outside any namespace, as resource registration requires.
static void RegisterResources() {
    Q_INIT_RESOURCE(morvik2);
}

namespace {

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
    const QImage image = DecodeJpeg(Background());
    ASSERT_FALSE(image.isNull());
    EXPECT_EQ(image.size(), QSize(276, 345));
    // A dark band behind the lettering at the top, a light grid below it.
    EXPECT_LT(qGray(image.pixel(3, 3)), 110);
    EXPECT_GT(qGray(image.pixel(100, 200)), 190);
}

// libjpeg's own handlers would print warnings, and end the process on an error.
TEST(JpegImage, BadDataIsHandledQuietly) {
    const QByteArray data = Background();
    ASSERT_GT(data.size(), 2000);
    QImage truncated, garbage, headerOnly;
    const std::string printed = Stderr([&] {
        truncated = DecodeJpeg(data.left(data.size() / 2));
        garbage = DecodeJpeg(QByteArray("this is not a picture at all"));
        headerOnly = DecodeJpeg(data.left(20));
    });
    EXPECT_EQ(printed, "");
    // What could be decoded of a truncated file is kept.
    EXPECT_EQ(truncated.size(), QSize(276, 345));
    EXPECT_LT(qGray(truncated.pixel(3, 3)), 110);
    EXPECT_TRUE(garbage.isNull());
    EXPECT_TRUE(headerOnly.isNull());
    EXPECT_TRUE(DecodeJpeg(QByteArray()).isNull());
}

} // namespace
