#include "Protocol.h"

#include <array>
#include <cstring>

namespace qelproto {

namespace {

// T[i]: the CRC of the nibble i standing in the top four bits of a word.
constexpr std::array<uint32_t, 16> makeNibbleTable()
{
    std::array<uint32_t, 16> t{};
    for (uint32_t i = 0; i < 16; ++i) {
        uint32_t c = i << 28;
        for (int b = 0; b < 4; ++b)
            c = (c & 0x80000000u) ? (c << 1) ^ 0x04C11DB7u : (c << 1);
        t[i] = c;
    }
    return t;
}
constexpr auto kNibbleTable = makeNibbleTable();
static_assert(kNibbleTable[0] == 0 && kNibbleTable[1] == 0x04C11DB7u);

} // namespace

uint32_t CalcCRC32(const void* data, int words)
{
    const char* p = static_cast<const char*>(data);
    uint32_t c = 0xFFFFFFFFu;
    for (int w = 0; w < words; ++w, p += 4) {
        c ^= le32(p);
        for (int k = 0; k < 8; ++k)
            c = (c << 4) ^ kNibbleTable[c >> 28];
    }
    return c;
}

QByteArray buildRequest(uint8_t code, QByteArrayView body, int totalSize)
{
    Q_ASSERT(totalSize % 4 == 0 && totalSize >= 12 && body.size() <= totalSize - 8);
    QByteArray f(totalSize, '\0');
    char* d = f.data();
    d[0] = char(kMarker);
    put16(d + 1, uint16_t(totalSize - 2));
    d[3] = char(code);
    if (!body.isEmpty())
        std::memcpy(d + 4, body.data(), size_t(body.size()));
    put32(d + totalSize - 4, CalcCRC32(d, (totalSize - 4) / 4));
    return f;
}

QByteArray buildFrame(uint8_t code, QByteArrayView body)
{
    int size = 4 + int(body.size()) + 4;
    size = (size + 3) & ~3;
    if (size < 12)
        size = 12;
    return buildRequest(code, body, size);
}

namespace {
QByteArray simpleReq(uint8_t code)
{
    return buildRequest(code, {}, 12);
}
QByteArray twoWordReq(uint8_t code, uint16_t a, uint16_t b)
{
    char body[4];
    put16(body, a);
    put16(body + 2, b);
    return buildRequest(code, QByteArrayView(body, 4), 12);
}
} // namespace

QByteArray devInfoReq()
{
    return simpleReq(dcDevInfo);
}
QByteArray matReadReq()
{
    return simpleReq(dcMatRead);
}
QByteArray objReadReq()
{
    return simpleReq(dcObjRead);
}
QByteArray archHeadReq()
{
    return simpleReq(dcArchHead);
}
QByteArray screenReq()
{
    return simpleReq(dcScreenShot);
}

QByteArray matWriteReq(QByteArrayView matCfg480)
{
    return buildRequest(dcMatWrite, matCfg480.first(qMin<qsizetype>(matCfg480.size(), 480)), 492);
}

QByteArray objWriteReq(QByteArrayView objCfg300)
{
    return buildRequest(dcObjWrite, objCfg300.first(qMin<qsizetype>(objCfg300.size(), 300)), 312);
}

QByteArray archBlockReq(uint16_t lastAbsIndex)
{
    return twoWordReq(dcArchBlock, lastAbsIndex, 0);
}

QByteArray archSamplesReq(uint16_t absIndex, uint16_t firstSample)
{
    return twoWordReq(dcArchSamples, absIndex, firstSample);
}

QByteArray resultDeleteReq(uint16_t absIndex, uint16_t count)
{
    return twoWordReq(dcResultDelete, absIndex, count);
}

QByteArray clockWriteReq(int year, int month, int day, int hour, int minute, int second)
{
    const char body[6] = {char(year - 2000), char(month),  char(day),
                          char(hour),        char(minute), char(second)};
    return buildRequest(dcClockWrite, QByteArrayView(body, 6), 16);
}

void TFrameReader::append(QByteArrayView bytes, qint64 nowMs)
{
    if (pending() > 0 && nowMs - fLastByteMs > kStaleFrameMs) {
        fDropped += pending();
        clear();
    }
    if (bytes.isEmpty())
        return;
    compact();
    fBuf.append(bytes.data(), bytes.size());
    fLastByteMs = nowMs;
}

bool TFrameReader::takeFrame(QByteArray& frame)
{
    for (;;) {
        const qsizetype avail = fBuf.size() - fPos;
        if (avail < 3)
            return false;
        const char* p = fBuf.constData() + fPos;
        const int total = int(le16(p + 1)) + 2;
        if (total < kMinFrameSize || total % 4 != 0 || total > kMaxFrameSize) {
            ++fPos; // garbage: look again one byte further on
            ++fDropped;
            continue;
        }
        if (avail < total)
            return false;
        if (fPos == 0 && avail == total) {
            frame = std::move(fBuf); // the common case: one reply in one buffer
            fBuf = QByteArray();
            fPos = 0;
            fBase += total;
        } else {
            frame = QByteArray(p, total);
            fPos += total;
        }
        return true;
    }
}

void TFrameReader::clear()
{
    fBase += fBuf.size();
    fBuf.clear();
    fPos = 0;
}

void TFrameReader::compact()
{
    if (fPos == 0)
        return;
    fBase += fPos;
    if (fPos == fBuf.size()) {
        fBuf.clear();
    } else {
        fBuf.remove(0, fPos);
    }
    fPos = 0;
}

} // namespace qelproto
