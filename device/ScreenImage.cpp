#include "ScreenImage.h"

#include <cstring>

namespace qelscreen {

namespace {

uint16_t le16(const char* p)
{
    return uint16_t(uint8_t(p[0]) | (uint8_t(p[1]) << 8));
}

void put16(char* p, uint16_t v)
{
    p[0] = char(v & 0xFF);
    p[1] = char(v >> 8);
}

void put32(char* p, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        p[i] = char((v >> (8 * i)) & 0xFF);
}

// Walks the runs over the pixels in bitmap order, the bottom row first; calls
// fill(first, n, colour) for each stretch that lies inside the picture.
template <class Fill> void forEachRun(const char* entries, int count, Fill fill)
{
    int at = 0;
    for (int i = 0; i < count && at < kPixels; ++i) {
        const char* e = entries + qsizetype(i) * 4;
        const int n = qMin<int>(le16(e + 2), kPixels - at);
        if (n > 0)
            fill(at, n, expandColour(le16(e)));
        at += n;
    }
}

} // namespace

uint32_t expandColour(uint16_t c)
{
    const uint32_t blue = ((c & 0x1Fu) << 3) | 7u;
    const uint32_t green = ((c & 0x7E0u) >> 3) | 4u;
    const uint32_t red = ((c & 0xF800u) >> 8) | 7u;
    return 0xFF000000u | (red << 16) | (green << 8) | blue;
}

QByteArray screenBitmap(const char* entries, int count)
{
    QByteArray out(kBmpFileSize, '\0');
    char* h = out.data();
    h[0] = 'B';
    h[1] = 'M';
    put32(h + 2, kBmpFileSize);
    put32(h + 10, kBmpHeaderSize);
    put32(h + 14, 40);
    put32(h + 18, kWidth);
    put32(h + 22, kHeight);
    put16(h + 26, 1);
    put16(h + 28, 32);
    put32(h + 34, kPixels * 4);
    char* px = h + kBmpHeaderSize;
    forEachRun(entries, count, [px](int first, int n, uint32_t argb) {
        char bgr0[4];
        put32(bgr0, argb & 0x00FFFFFFu); // blue, green, red, then a zero byte
        for (int i = first; i < first + n; ++i)
            std::memcpy(px + qsizetype(i) * 4, bgr0, 4);
    });
    return out;
}

QImage screenImage(const char* entries, int count)
{
    QImage img(kWidth, kHeight, QImage::Format_RGB32);
    img.fill(0xFF000000u);
    forEachRun(entries, count, [&img](int first, int n, uint32_t argb) {
        for (int i = first; i < first + n; ++i) {
            // Bitmap rows go up from the bottom; the picture's first line is the top one.
            auto* line = reinterpret_cast<uint32_t*>(img.scanLine(kHeight - 1 - i / kWidth));
            line[i % kWidth] = argb;
        }
    });
    return img;
}

} // namespace qelscreen
