// The instrument's 128 x 160 display, drawn procedurally, and its run-length encoding as the
// screen transfer carries it: entries of 4 bytes, little-endian 5-6-5 colour then run.
#pragma once

#include "data/QelTypes.h"

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <optional>

class TSimScreen
{
public:
    static constexpr int kWidth = 128;
    static constexpr int kHeight = 160;
    static constexpr int kPixels = kWidth * kHeight;

    static constexpr uint16_t rgb565(int r, int g, int b)
    {
        return uint16_t(((r >> 3) << 11) | ((g >> 2) << 5) | (b >> 3));
    }

    // Moves the picture on by one step: the clock shows `now` and the marker on the curve
    // moves, so that a live view sees a change with every transfer.
    void advance(const QDateTime& now);
    // The values shown in the result rows; none shows dashes.
    void setResult(const TArchQEL& result);
    void clearResult();

    // The drawn picture, top row first, each row left to right.
    QList<uint16_t> image() const;
    // The same pixels in the order the transfer sends them: the bottom row first, each row
    // left to right, the rows going up.
    QList<uint16_t> pixels() const;

    // Entries of the current picture, or the ones set by setScreenEntries.
    QByteArray screenEntries() const;
    // Entries sent as they are from now on (any count, an empty screen included).
    void setScreenEntries(const QByteArray& entries);
    // Back to the drawn picture.
    void clearScreenEntries();
    bool hasCustomEntries() const { return fCustom.has_value(); }

    int step() const { return fStep; }

    // Runs of equal colour, each at most 65535 pixels.
    static QByteArray encodeRle(const QList<uint16_t>& pixels);

private:
    QDateTime fNow;
    int fStep = 0;
    std::optional<TArchQEL> fResult;
    std::optional<QByteArray> fCustom;
};
