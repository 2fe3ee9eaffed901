#pragma once

#include <QByteArray>
#include <QImage>

// Decodes a JPEG held in memory with libjpeg. A null image when libjpeg gives up; its
// warnings (a truncated file, say) are not printed, and what could be decoded is kept.
QImage DecodeJpeg(const QByteArray& data);
