#include "SimArchive.h"

#include "data/Catalogues.h"
#include "device/Protocol.h"

#include <QRandomGenerator>
#include <QStringEncoder>
#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

// A name goes into its field as at most size - 1 bytes and a zero byte, like the
// instrument's own menu writes it.
void putName(char* field, int size, const QString& text)
{
    const QByteArray bytes = encodeSimName(text).left(size - 1);
    std::memset(field, 0, size_t(size));
    std::memcpy(field, bytes.constData(), size_t(bytes.size()));
}

double uniform(QRandomGenerator& rng, double lo, double hi)
{
    return lo + (hi - lo) * rng.generateDouble();
}

// Rough bell-shaped noise of unit spread; the sum of uniforms keeps it bounded.
double noise(QRandomGenerator& rng)
{
    return (rng.generateDouble() + rng.generateDouble() + rng.generateDouble() - 1.5) * 2.0;
}

TQelDateTime toQelDateTime(qint64 minutes)
{
    const QDate d = QDate::fromJulianDay(minutes / 1440);
    const int m = int(minutes % 1440);
    return TQelDateTime{int8_t(d.year() - 2000), int8_t(d.month()), int8_t(d.day()), int8_t(m / 60),
                        int8_t(m % 60)};
}

} // namespace

QByteArray encodeSimName(const QString& text)
{
    QStringEncoder enc("windows-1251");
    QByteArray bytes = enc.encode(text);
    return bytes;
}

QByteArray defaultMaterials(TLang lang)
{
    QByteArray block(kMatCfgSize, '\0');
    for (int i = 0; i < kMaterialCount; ++i) {
        TQelMaterial m{};
        const QString name = qelcat::defaultMaterialName(i, lang);
        putName(m.Name, int(sizeof m.Name), name);
        m.A[0] = 0.0f;
        m.A[1] = 1.0f;
        std::memcpy(block.data() + i * int(sizeof m), &m, sizeof m);
    }
    return block;
}

QByteArray defaultObjects(TLang lang)
{
    QByteArray block(kObjCfgSize, '\0');
    for (int i = 0; i < kObjectCount; ++i) {
        const QString name = qelcat::defaultObjectName(i, lang);
        putName(block.data() + i * int(sizeof(TQelObject)), int(sizeof(TQelObject)), name);
    }
    return block;
}

QList<uint16_t> makeSeries(int count, int freqHz, uint16_t air, uint16_t vac, double tauSec,
                           quint32 seed)
{
    QRandomGenerator rng(seed);
    QList<uint16_t> s;
    s.reserve(count);
    const double rate = freqHz > 0 ? double(freqHz) : 1.0;
    const double tau = std::max(tauSec, 0.05);
    for (int i = 0; i < count; ++i) {
        const double t = i / rate;
        const double p = air - (double(air) - vac) * std::exp(-t / tau) + 1.5 * noise(rng);
        s.append(uint16_t(std::clamp(std::lround(p), 0L, 65535L)));
    }
    return s;
}

QList<TCalcQEL> makeArchive(int count, quint32 seed, int samplesPerResult, uint16_t firstAbsIndex,
                            QDate newest)
{
    count = std::clamp(count, 0, kMaxArchive);
    QList<TCalcQEL> out(count);
    if (count == 0)
        return out;

    QRandomGenerator rng(seed);
    const QByteArray mats = defaultMaterials(ruRU);
    const QByteArray objs = defaultObjects(ruRU);

    // Times go backwards from the newest result: a session of a few tests minutes apart on
    // one object, then a gap of days to the session before. Large archives get shorter gaps
    // so that they still stay within a plausible number of years.
    const int sessions = std::max(1, count / 4);
    const qint64 maxGapMin = std::clamp<qint64>(2LL * 1500 * 1440 / sessions, 360, 21 * 1440);
    qint64 t = newest.toJulianDay() * 1440 + 15 * 60 + rng.bounded(90);

    int sessionLeft = 0;
    int objIdx = 0, matIdx = 0;
    double sessionAir = 10132, sessionTemp = 18;
    for (int i = count - 1; i >= 0; --i) {
        if (sessionLeft == 0) {
            if (i != count - 1) {
                t -= 360 + rng.bounded(int(maxGapMin - 359));
                // Tests are made during working hours.
                const int mod = int(t % 1440);
                if (mod >= 18 * 60)
                    t -= mod - (17 * 60 + rng.bounded(50));
                else if (mod < 8 * 60)
                    t -= mod + 1440 - (17 * 60 + rng.bounded(50));
            }
            sessionLeft = 2 + rng.bounded(5);
            objIdx = rng.bounded(10) < 8 ? rng.bounded(11) : 11 + rng.bounded(9);
            matIdx = rng.bounded(10) < 7 ? 0 : 1 + rng.bounded(4);
            sessionAir = std::clamp(10132 + 150 * noise(rng), 9732.0, 10532.0);
            sessionTemp = uniform(rng, 5.5, 29.5);
        } else {
            t -= 4 + rng.bounded(22);
        }
        --sessionLeft;

        // i counts from the oldest; the list is in the order the instrument sends its
        // archive, the newest first.
        const int sent = count - 1 - i;
        TCalcQEL& res = out[sent];
        TArchQEL& r = res.ArchRes;
        r.Base.Num = uint16_t(i + 1);
        r.Base.AbsIndex = uint16_t(firstAbsIndex + sent);
        r.Base.DateTime = toQelDateTime(t);
        std::memcpy(&r.QelObj, objs.constData() + objIdx * int(sizeof(TQelObject)),
                    sizeof(TQelObject));
        std::memcpy(&r.QelMat, mats.constData() + matIdx * int(sizeof(TQelMaterial)),
                    sizeof(TQelMaterial));
        r.MatID = uint8_t(matIdx);
        r.MeasMode = rng.bounded(100) < 85 ? 1 : 0;
        r.SampleFreq = 10;
        r.SampleCount = uint16_t(samplesPerResult > 0 ? std::min(samplesPerResult, 65535)
                                                      : 300 + rng.bounded(2701));
        r.TestTime = uint16_t(r.SampleCount / r.SampleFreq);
        r.AirCode = uint16_t(std::lround(sessionAir + 2 * noise(rng)));
        r.Temperature = float(std::round((sessionTemp + 0.4 * noise(rng)) * 10) / 10);

        // m in s/cm³ spreads over three decades; a failed test leaves 0.
        const bool failed = rng.bounded(100) < 5;
        const double m = failed ? 0.0 : std::exp(uniform(rng, std::log(0.01), std::log(20.0)));
        r.M = float(m);
        if (r.MeasMode == 1 && !failed)
            r.H = float(std::clamp(3.0 - 0.8 * std::log(m) + 0.4 * noise(rng), 0.3, 12.0));
        r.W = failed ? 0u : uint32_t(2 * std::clamp(int(1 + 2.7 * std::log10(m * 100)), 1, 10));
        r.SensorType = 1;

        // A tight material lets air back in slowly; a failed test is a leak.
        const uint16_t vac = uint16_t(1000 + rng.bounded(2001));
        const double tau = failed ? uniform(rng, 0.5, 2.0) : 5.0 + 15.0 * m;
        res.Samples = makeSeries(r.SampleCount, r.SampleFreq, r.AirCode, vac, tau, rng.generate());
        r.StartCode = res.Samples.isEmpty() ? vac : res.Samples.first();
        r.StopCode = res.Samples.isEmpty() ? vac : res.Samples.last();

        // The instrument's own check over the series; nobody verifies it.
        QByteArray raw(reinterpret_cast<const char*>(res.Samples.constData()),
                       res.Samples.size() * 2);
        raw.append(QByteArray((4 - raw.size() % 4) % 4, '\0'));
        r.crc = qelproto::CalcCRC32(raw.constData(), int(raw.size() / 4));
    }
    return out;
}
