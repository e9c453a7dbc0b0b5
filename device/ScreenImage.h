// The instrument's display as a picture: the run-length entries of a screen transfer
// (5-6-5 colour, run) decoded into a 128 x 160 32-bit bitmap, first pixel bottom-left.
#pragma once

#include <QByteArray>
#include <QImage>
#include <cstdint>

namespace qelscreen {

constexpr int kWidth = 128;
constexpr int kHeight = 160;
constexpr int kPixels = kWidth * kHeight;
constexpr int kBmpHeaderSize = 54;
constexpr int kBmpFileSize = kBmpHeaderSize + kPixels * 4; // 81974

// One 5-6-5 colour as 0xAARRGGBB with the free low bits set: red and blue | 7, green | 4.
uint32_t expandColour(uint16_t c);

// The bitmap file of `count` entries: header, then blue, green, red, 0 per pixel. Always
// kBmpFileSize bytes, so that it is the file its header announces: pixels the runs do not
// reach stay black, runs beyond the last pixel are dropped, a run of 0 adds nothing.
QByteArray screenBitmap(const char* entries, int count);

// The same pixels as a picture (Format_RGB32), the top row first.
QImage screenImage(const char* entries, int count);

} // namespace qelscreen
