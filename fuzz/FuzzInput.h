// Reads a fuzz input front to back; past its end every read gives zeros.
#pragma once

#include <QByteArrayView>
#include <algorithm>
#include <cstddef>
#include <cstdint>

struct TFuzzInput
{
    const uint8_t* data;
    size_t size;
    size_t pos = 0;

    bool atEnd() const { return pos >= size; }
    uint8_t byte() { return pos < size ? data[pos++] : 0; }
    uint16_t word()
    {
        const uint16_t lo = byte();
        return uint16_t(lo | (byte() << 8));
    }
    QByteArrayView take(size_t n)
    {
        n = std::min(n, size - std::min(pos, size));
        QByteArrayView v(data + pos, qsizetype(n));
        pos += n;
        return v;
    }
};
