// Frame layout of the instrument link: marker, 16-bit length (total size - 2), code, body,
// 32-bit check. Requests are built here; replies are collected by TFrameReader.
#pragma once

#include "data/QelTypes.h"

#include <QByteArray>
#include <QByteArrayView>
#include <cstdint>

enum TDevCommand : uint8_t
{
    dcDevInfo = 1,
    dcMatRead = 3,
    dcMatWrite = 4,
    dcObjRead = 5,
    dcObjWrite = 6,
    dcArchHead = 7,
    dcArchBlock = 8,
    dcArchSamples = 9,
    dcResultDelete = 10,
    dcClockWrite = 11,
    dcScreenShot = 12,
    dcMeasIsGoing = 254,
};

namespace qelproto {

constexpr uint8_t kMarker = 0x80;
constexpr int kHeaderSize = 8; // marker, length, code and the first four body bytes
constexpr int kRecordSize = int(sizeof(TArchQEL));
constexpr int kMaxRecordsPerReply = 255;
// The largest reply the protocol has: a records reply carrying 255 records and its check.
constexpr int kMaxFrameSize = kHeaderSize + kMaxRecordsPerReply * kRecordSize + 4;
constexpr int kMinFrameSize = 8;
// A partial frame is dropped when no byte has come for this long.
constexpr int kStaleFrameMs = 500;

constexpr int kScreenEntrySize = 4;
constexpr int kScreenBufferSize = 81974;
constexpr int kScreenMaxEntries = kScreenBufferSize / kScreenEntrySize; // 20493

// CRC-32/MPEG-2 over `words` little-endian 32-bit words of `data`.
uint32_t CalcCRC32(const void* data, int words);

// A request frame: `body` goes to offset 4, padded with zeros to `totalSize` - 4, then the
// check. totalSize must be a multiple of 4.
QByteArray buildRequest(uint8_t code, QByteArrayView body, int totalSize);

// Reply frame: the same layout with the check bytes appended (used by the instrument
// stand-in and by tests; the receiver never examines the check).
QByteArray buildFrame(uint8_t code, QByteArrayView body);

QByteArray devInfoReq();
QByteArray matReadReq();
QByteArray matWriteReq(QByteArrayView matCfg480);
QByteArray objReadReq();
QByteArray objWriteReq(QByteArrayView objCfg300);
QByteArray archHeadReq();
QByteArray archBlockReq(uint16_t lastAbsIndex);
QByteArray archSamplesReq(uint16_t absIndex, uint16_t firstSample);
QByteArray resultDeleteReq(uint16_t absIndex, uint16_t count);
QByteArray clockWriteReq(int year, int month, int day, int hour, int minute, int second);
QByteArray screenReq();

inline uint16_t le16(const char* p)
{
    return uint16_t(uint8_t(p[0]) | (uint8_t(p[1]) << 8));
}
inline uint32_t le32(const char* p)
{
    return uint32_t(uint8_t(p[0])) | (uint32_t(uint8_t(p[1])) << 8) |
           (uint32_t(uint8_t(p[2])) << 16) | (uint32_t(uint8_t(p[3])) << 24);
}
inline void put16(char* p, uint16_t v)
{
    p[0] = char(v & 0xFF);
    p[1] = char(v >> 8);
}
inline void put32(char* p, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        p[i] = char((v >> (8 * i)) & 0xFF);
}

// Collects received bytes across receive calls and hands out every frame that is complete
// by its length field. A length that cannot be a reply (total below 8, not a multiple of
// 4, or beyond the largest reply) marks garbage: one byte is dropped and the search goes on.
class TFrameReader
{
public:
    // Append bytes that arrived at nowMs (a monotonic clock). A partial frame left over
    // from before a silence of more than kStaleFrameMs is dropped first.
    void append(QByteArrayView bytes, qint64 nowMs);
    // Take the next complete frame off the front; false when none is complete.
    bool takeFrame(QByteArray& frame);
    // Bytes waiting for the rest of their frame.
    qsizetype pending() const { return fBuf.size() - fPos; }
    // Positions in the stream of every byte appended since the reader was made: all bytes
    // appended so far, and the end of what has been taken or dropped (the end of the frame
    // last taken, right after takeFrame).
    qint64 received() const { return fBase + fBuf.size(); }
    qint64 consumed() const { return fBase + fPos; }
    qint64 droppedBytes() const { return fDropped; }
    void clear();

private:
    void compact();

    QByteArray fBuf;
    qsizetype fPos = 0; // start of unconsumed bytes in fBuf
    qint64 fBase = 0;   // stream position of fBuf[0]
    qint64 fLastByteMs = 0;
    qint64 fDropped = 0;
};

} // namespace qelproto
