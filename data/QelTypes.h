// Byte-exact records shared by the instrument link, the archive file and the views.
// All multi-byte fields are little-endian; the structures are packed so that their
// bytes are exactly those on the wire and in files, padding included.
#pragma once

#include "i18n/Lang.h"

#include <QList>
#include <QString>
#include <bit>
#include <cstddef>
#include <cstdint>

enum TQelType : uint8_t
{
    devUnknown = 0,
    dev12 = 1,
    dev13 = 2
};

#pragma pack(push, 1)

struct TQelDateTime
{
    int8_t Year; // year - 2000
    int8_t Month;
    int8_t Day;
    int8_t Hour;
    int8_t Minute;
};

struct TArchBase
{
    uint16_t Num;
    uint16_t AbsIndex;
    TQelDateTime DateTime;
};

struct TQelObject
{
    char Name[15];
};

struct TQelMaterial
{
    char Name[16];
    float A[2]; // b0, b1
};

struct TArchQEL
{
    TArchBase Base;
    TQelObject QelObj;
    TQelMaterial QelMat;
    uint8_t MatID;
    uint8_t MeasMode;
    uint16_t SampleCount;
    uint16_t SampleFreq;
    uint16_t TestTime;
    uint16_t StartCode;
    uint16_t StopCode;
    uint16_t AirCode;
    uint8_t Pad1[2];
    float Temperature;
    uint32_t crc;
    float M;
    float H;
    uint32_t W;
    uint8_t SensorType;
    uint8_t Pad2[3];
};

struct TQelInfo
{
    uint8_t StrictVersion;
    uint8_t DevType;
    uint8_t DevVersion;
    uint16_t SerialNumber;
    uint8_t SoftVersion[10];
    uint8_t HardVersion[40];
    uint8_t MakeDate[10];
    uint8_t TypeFormula;
    uint8_t TypeSensor;
};

#pragma pack(pop)

static_assert(sizeof(TQelDateTime) == 5);
static_assert(sizeof(TArchBase) == 9);
static_assert(sizeof(TQelObject) == 15);
static_assert(sizeof(TQelMaterial) == 24);
static_assert(sizeof(TArchQEL) == 88);
static_assert(sizeof(TQelInfo) == 67);

static_assert(offsetof(TArchBase, AbsIndex) == 2);
static_assert(offsetof(TArchBase, DateTime) == 4);
static_assert(offsetof(TQelMaterial, A) == 16);
static_assert(offsetof(TArchQEL, QelObj) == 9);
static_assert(offsetof(TArchQEL, QelMat) == 24);
static_assert(offsetof(TArchQEL, MatID) == 48);
static_assert(offsetof(TArchQEL, MeasMode) == 49);
static_assert(offsetof(TArchQEL, SampleCount) == 50);
static_assert(offsetof(TArchQEL, SampleFreq) == 52);
static_assert(offsetof(TArchQEL, TestTime) == 54);
static_assert(offsetof(TArchQEL, StartCode) == 56);
static_assert(offsetof(TArchQEL, StopCode) == 58);
static_assert(offsetof(TArchQEL, AirCode) == 60);
static_assert(offsetof(TArchQEL, Pad1) == 62);
static_assert(offsetof(TArchQEL, Temperature) == 64);
static_assert(offsetof(TArchQEL, crc) == 68);
static_assert(offsetof(TArchQEL, M) == 72);
static_assert(offsetof(TArchQEL, H) == 76);
static_assert(offsetof(TArchQEL, W) == 80);
static_assert(offsetof(TArchQEL, SensorType) == 84);
static_assert(offsetof(TArchQEL, Pad2) == 85);
static_assert(offsetof(TQelInfo, SerialNumber) == 3);
static_assert(offsetof(TQelInfo, SoftVersion) == 5);
static_assert(offsetof(TQelInfo, HardVersion) == 15);
static_assert(offsetof(TQelInfo, MakeDate) == 55);
static_assert(offsetof(TQelInfo, TypeFormula) == 65);
static_assert(offsetof(TQelInfo, TypeSensor) == 66);

// The records are copied as raw bytes; the target must be little-endian like the instrument.
static_assert(std::endian::native == std::endian::little,
              "records are kept in the instrument's little-endian byte order");

constexpr int kMaterialCount = 20;
constexpr int kObjectCount = 20;
constexpr int kMatCfgSize = kMaterialCount * int(sizeof(TQelMaterial)); // 480
constexpr int kObjCfgSize = kObjectCount * int(sizeof(TQelObject));     // 300
static_assert(kMatCfgSize == 480 && kObjCfgSize == 300);

// The counters are 16-bit: the archive holds at most this many results.
constexpr int kMaxArchive = 65535;

// One result in memory: the record exactly as received or loaded, its pressure samples
// (units of 10 Pa) and the user's comment.
struct TCalcQEL
{
    TArchQEL ArchRes{};
    QList<uint16_t> Samples;
    QString UserComment;
};

struct TArchDupStat
{
    int32_t Duplicates = 0;
    int32_t Uniquie = 0;
    int32_t New = 0;

    bool operator==(const TArchDupStat&) const = default;
};

struct TArchLoadProgress
{
    int32_t Total = 0;
    int32_t Current = 0;
};

// How the last archive read went.
struct TArchReadOutcome
{
    int32_t Announced = 0;  // records the head reply announced
    int32_t Received = 0;   // records that arrived
    int32_t Incomplete = 0; // series that ended short of their SampleCount
    // The walk came to its end: not cut off by silence, busy, a disconnect, the archive
    // limit or a change of the results while it ran.
    bool Finished = false;
    bool complete() const { return Finished && Received == Announced && Incomplete == 0; }

    bool operator==(const TArchReadOutcome&) const = default;
};

// Stored pressure code (units of 10 Pa) to the display unit, with the float32 steps the
// instrument's own software takes: code * 10 in float32, times the unit factor, to float32.
float ConvertPressure(EPressureUnits unit, uint16_t code);
