// Frames of the instrument link: request bytes, the frame check, and how received bytes
// are cut into frames and dispatched.
#include "device/Protocol.h"
#include "device/QelBase.h"

#include <QTest>
#include <cstring>

using namespace qelproto;

namespace {

QByteArray hex(const char* s)
{
    return QByteArray::fromHex(QByteArray(s).replace(' ', ""));
}

// A reply frame of `total` bytes with the given length field and code; body zero.
QByteArray rawFrame(int total, int lengthField, uint8_t code)
{
    QByteArray f(total, '\0');
    f[0] = char(0x80);
    put16(f.data() + 1, uint16_t(lengthField));
    f[3] = char(code);
    return f;
}

QByteArray identityReply(uint8_t devType, uint16_t serial)
{
    TQelInfo info{};
    info.DevType = devType;
    info.SerialNumber = serial;
    info.MakeDate[0] = '7';
    return buildFrame(dcDevInfo, QByteArray(4, '\0') +
                                     QByteArray(reinterpret_cast<const char*>(&info), sizeof info));
}

QByteArray screenFrame(int entries, bool last, uint16_t colour = 0x1234)
{
    QByteArray f(8 + 4 * entries, '\0');
    f[0] = char(0x80);
    put16(f.data() + 1, uint16_t(f.size() - 2));
    f[3] = char(dcScreenShot);
    f[4] = last ? 1 : 0;
    put16(f.data() + 6, uint16_t(entries));
    for (int i = 0; i < entries; ++i) {
        put16(f.data() + 8 + 4 * i, colour);
        put16(f.data() + 10 + 4 * i, uint16_t(i + 1));
    }
    return f;
}

struct EventLog
{
    QList<TOperationType> ops;
    TCmdCompleteEvent callback()
    {
        return [this](TOperationType op) { ops.append(op); };
    }
};

} // namespace

class TstProtocol : public QObject
{
    Q_OBJECT
private slots:
    void requestsMatchReferenceBytes_data();
    void requestsMatchReferenceBytes();
    void crcMatchesMpeg2Reference();
    void clockRequestCarriesTheDateBytes();
    void writeRequestsCarryTheWholeCatalogue();

    void frameFedInAnyPiecesIsDispatchedOnce_data();
    void frameFedInAnyPiecesIsDispatchedOnce();
    void runTogetherFramesAreAllDispatched();
    void impossibleLengthsAreSkippedByteByByte_data();
    void impossibleLengthsAreSkippedByteByByte();
    void partialFrameIsDroppedAfterSilence();

    void wholeBuffersBehaveAsSingleReplies_data();
    void wholeBuffersBehaveAsSingleReplies();
    void unknownCodesChangeNothing_data();
    void unknownCodesChangeNothing();
    void identityReplyWithoutCallbackStoresRecord();
    void screenPartsRunTogetherAreEachDispatched();
    void screenCountsAreClamped_data();
    void screenCountsAreClamped();
    void callbackReleasingTheObjectStopsDispatch();
};

void TstProtocol::requestsMatchReferenceBytes_data()
{
    QTest::addColumn<QByteArray>("frame");
    QTest::addColumn<QByteArray>("expected");
    QTest::newRow("identity") << devInfoReq() << hex("80 0A 00 01 00 00 00 00 1F 10 21 D0");
    QTest::newRow("archive head") << archHeadReq() << hex("80 0A 00 07 00 00 00 00 14 C7 24 0D");
    QTest::newRow("screen") << screenReq() << hex("80 0A 00 0C 00 00 00 00 74 7F 4A 35");
    QTest::newRow("records after 5")
        << archBlockReq(5) << hex("80 0A 00 08 05 00 00 00 80 7A C9 48");
    QTest::newRow("delete two from 5")
        << resultDeleteReq(5, 2) << hex("80 0A 00 0A 05 00 02 00 1A 9A 3B FC");
    QTest::newRow("clock 2024-03-15 14:05:09")
        << clockWriteReq(2024, 3, 15, 14, 5, 9)
        << hex("80 0E 00 0B 18 03 0F 0E 05 09 00 00 E8 A6 BB D7");
}

void TstProtocol::requestsMatchReferenceBytes()
{
    QFETCH(QByteArray, frame);
    QFETCH(QByteArray, expected);
    QCOMPARE(frame.toHex(' '), expected.toHex(' '));
}

void TstProtocol::crcMatchesMpeg2Reference()
{
    // Bitwise CRC-32/MPEG-2, checked against its published value for "123456789".
    const auto bitwise = [](const QByteArray& bytes) {
        uint32_t c = 0xFFFFFFFFu;
        for (char ch : bytes) {
            c ^= uint32_t(uint8_t(ch)) << 24;
            for (int b = 0; b < 8; ++b)
                c = (c & 0x80000000u) ? (c << 1) ^ 0x04C11DB7u : c << 1;
        }
        return c;
    };
    QCOMPARE(bitwise("123456789"), 0x0376E6E7u);

    // The frame check reads every 4-byte group little-endian, so it equals the bitwise CRC
    // of the bytes with each group reversed.
    const QByteArray bytes("ABCDEFGH\x01\x02\x03\xFF");
    QByteArray swapped;
    for (int i = 0; i < bytes.size(); i += 4)
        for (int k = 3; k >= 0; --k)
            swapped.append(bytes[i + k]);
    QCOMPARE(CalcCRC32(bytes.constData(), 3), bitwise(swapped));
    QCOMPARE(CalcCRC32("", 0), 0xFFFFFFFFu);
}

void TstProtocol::clockRequestCarriesTheDateBytes()
{
    const QByteArray f = clockWriteReq(2099, 12, 31, 23, 59, 59);
    QCOMPARE(f.size(), 16);
    QCOMPARE(f.mid(4, 8), QByteArray::fromHex("630C1F173B3B0000"));
    QCOMPARE(le32(f.constData() + 12), CalcCRC32(f.constData(), 3));
}

void TstProtocol::writeRequestsCarryTheWholeCatalogue()
{
    QByteArray mat(480, '\0');
    for (int i = 0; i < mat.size(); ++i)
        mat[i] = char(i * 7 + 1);
    const QByteArray m = matWriteReq(mat);
    QCOMPARE(m.size(), 492);
    QCOMPARE(le16(m.constData() + 1), uint16_t(490));
    QCOMPARE(m.mid(4, 480), mat);
    QCOMPARE(m.mid(484, 4), QByteArray(4, '\0'));
    QCOMPARE(le32(m.constData() + 488), CalcCRC32(m.constData(), 122));

    const QByteArray obj(300, 'x');
    const QByteArray o = objWriteReq(obj);
    QCOMPARE(o.size(), 312);
    QCOMPARE(le16(o.constData() + 1), uint16_t(310));
    QCOMPARE(o.mid(4, 300), obj);
    QCOMPARE(le32(o.constData() + 308), CalcCRC32(o.constData(), 77));
}

void TstProtocol::frameFedInAnyPiecesIsDispatchedOnce_data()
{
    QTest::addColumn<int>("cut");
    const int size = int(identityReply(1, 2053).size());
    for (int cut = 1; cut < size; ++cut)
        QTest::addRow("cut at %d", cut) << cut;
    QTest::newRow("byte by byte") << -1;
}

void TstProtocol::frameFedInAnyPiecesIsDispatchedOnce()
{
    QFETCH(int, cut);
    const QByteArray reply = identityReply(1, 2053);
    TQelBase dev;
    EventLog log;
    dev.SetComCallback(log.callback());
    if (cut < 0) {
        for (int i = 0; i < reply.size(); ++i)
            dev.ComPortRxBuf(reply.mid(i, 1), i);
    } else {
        dev.ComPortRxBuf(reply.left(cut), 0);
        QVERIFY(log.ops.isEmpty());
        dev.ComPortRxBuf(reply.mid(cut), 10);
    }
    QCOMPARE(log.ops, QList<TOperationType>{otDevConnect});
    const uint16_t serial = dev.devInfo().SerialNumber; // a packed field: compared as a copy
    QCOMPARE(serial, uint16_t(2053));
    QCOMPARE(dev.devInfo().MakeDate[0], uint8_t('7'));
}

void TstProtocol::runTogetherFramesAreAllDispatched()
{
    const QByteArray stream = identityReply(2, 1) + rawFrame(12, 10, dcClockWrite) +
                              rawFrame(12, 10, dcMatWrite) + rawFrame(12, 10, dcMeasIsGoing);
    // In one buffer, and cut across the frame borders.
    for (int cut : {int(stream.size()), 70, 81, 90}) {
        TQelBase dev;
        EventLog log;
        dev.SetComCallback(log.callback());
        dev.ComPortRxBuf(stream.left(cut), 0);
        dev.ComPortRxBuf(stream.mid(cut), 1);
        QCOMPARE(log.ops,
                 (QList<TOperationType>{otDevConnect, otClockWrite, otMatWrite, otMeasIsGoing}));
    }
}

void TstProtocol::impossibleLengthsAreSkippedByteByByte_data()
{
    QTest::addColumn<QByteArray>("garbage");
    QTest::newRow("total below 8") << QByteArray::fromHex("80040001");
    QTest::newRow("not a multiple of 4") << QByteArray::fromHex("800b0001000000000000000000");
    QTest::newRow("beyond the largest reply") << QByteArray::fromHex("80ff7f08");
    QTest::newRow("stray zero bytes") << QByteArray(7, '\0');
}

void TstProtocol::impossibleLengthsAreSkippedByteByByte()
{
    QFETCH(QByteArray, garbage);
    TFrameReader r;
    const QByteArray good = rawFrame(12, 10, dcClockWrite);
    r.append(garbage + good, 0);
    QByteArray frame;
    QVERIFY(r.takeFrame(frame));
    QCOMPARE(frame, good);
    QVERIFY(!r.takeFrame(frame));
    QCOMPARE(r.droppedBytes(), qint64(garbage.size()));
}

void TstProtocol::partialFrameIsDroppedAfterSilence()
{
    TQelBase dev;
    EventLog log;
    dev.SetComCallback(log.callback());
    // Length 14 on a 12-byte buffer: the frame waits for four more bytes.
    QByteArray cutShort = rawFrame(12, 14, dcClockWrite);
    dev.ComPortRxBuf(cutShort, 0);
    QVERIFY(log.ops.isEmpty());
    // Silence, then a good reply: the remains are dropped, the reply stands on its own.
    dev.ComPortRxBuf(rawFrame(12, 10, dcClockWrite), kStaleFrameMs + 1);
    QCOMPARE(log.ops, QList<TOperationType>{otClockWrite});

    // Within the silence bound the bytes still belong to the waiting frame.
    TFrameReader r;
    r.append(rawFrame(12, 14, dcObjWrite), 0);
    r.append(QByteArray(4, '\0'), kStaleFrameMs);
    QByteArray frame;
    QVERIFY(r.takeFrame(frame));
    QCOMPARE(frame.size(), 16);
}

void TstProtocol::wholeBuffersBehaveAsSingleReplies_data()
{
    QTest::addColumn<QByteArray>("buffer");
    QTest::addColumn<QList<TOperationType>>("events");
    using L = QList<TOperationType>;
    QTest::newRow("clock ack, length 10") << rawFrame(12, 10, dcClockWrite) << L{otClockWrite};
    QTest::newRow("clock ack, length 14") << rawFrame(12, 14, dcClockWrite) << L{};
    QTest::newRow("14 bytes, length 12") << rawFrame(14, 12, dcClockWrite) << L{};
    QTest::newRow("14 bytes, length 12, screen") << rawFrame(14, 12, dcScreenShot) << L{};
    QTest::newRow("materials written") << rawFrame(12, 10, dcMatWrite) << L{otMatWrite};
    QTest::newRow("objects written") << rawFrame(12, 10, dcObjWrite) << L{otObjWrite};
    QTest::newRow("deleted") << rawFrame(12, 10, dcResultDelete) << L{otResultDelete};
    QTest::newRow("busy") << rawFrame(12, 10, dcMeasIsGoing) << L{otMeasIsGoing};
    QTest::newRow("identity too short") << rawFrame(12, 10, dcDevInfo) << L{};
    QTest::newRow("materials") << buildFrame(dcMatRead, QByteArray(480, 'm')) << L{otMatRead};
    QTest::newRow("objects") << buildFrame(dcObjRead, QByteArray(300, 'o')) << L{otObjRead};
}

void TstProtocol::wholeBuffersBehaveAsSingleReplies()
{
    QFETCH(QByteArray, buffer);
    QFETCH(QList<TOperationType>, events);
    TQelBase dev;
    EventLog log;
    dev.SetComCallback(log.callback());
    dev.ComPortRxBuf(buffer, 0);
    QCOMPARE(log.ops, events);
    if (events == QList<TOperationType>{otMatRead})
        QCOMPARE(dev.matCfg()[19].Name[0], 'm');
    if (events == QList<TOperationType>{otObjRead})
        QCOMPARE(dev.objCfg()[19].Name[14], 'o');
}

void TstProtocol::unknownCodesChangeNothing_data()
{
    QTest::addColumn<int>("code");
    QTest::newRow("2") << 2;
    QTest::newRow("13") << 13;
    QTest::newRow("200") << 200;
    QTest::newRow("0") << 0;
}

void TstProtocol::unknownCodesChangeNothing()
{
    QFETCH(int, code);
    TQelBase dev;
    EventLog log;
    dev.SetComCallback(log.callback());
    QByteArray f = buildFrame(uint8_t(code), QByteArray(100, '\x5A'));
    dev.ComPortRxBuf(f, 0);
    QVERIFY(log.ops.isEmpty());
    QCOMPARE(dev.GetDevType(), uint8_t(0));
    QCOMPARE(dev.archive().size(), 0);
    QCOMPARE(dev.screenEntries(), 0);
    QCOMPARE(dev.matCfg()[0].Name[0], '\0');
    // The reader is left clean: the next reply is handled.
    dev.ComPortRxBuf(rawFrame(12, 10, dcClockWrite), 1);
    QCOMPARE(log.ops, QList<TOperationType>{otClockWrite});
}

void TstProtocol::identityReplyWithoutCallbackStoresRecord()
{
    TQelBase dev;
    dev.SetLang(enUS);
    dev.ComPortRxBuf(identityReply(1, 2053), 0);
    QCOMPARE(dev.GetDevType(), uint8_t(1));
    QCOMPARE(dev.GetDeviceName(), QStringLiteral("QEL-1.2 № A005"));
}

void TstProtocol::screenPartsRunTogetherAreEachDispatched()
{
    // Two full 1000-byte parts in one buffer, then a last part cut off at 500 bytes.
    TQelBase dev;
    EventLog log;
    dev.SetComCallback(log.callback());
    const QByteArray p1 = screenFrame(248, false);
    const QByteArray p2 = screenFrame(248, true);
    QCOMPARE(p1.size(), 1000);
    QCOMPARE(le16(p1.constData() + 1), uint16_t(998));
    dev.ComPortRxBuf(p1 + p2, 0);
    QCOMPARE(dev.screenEntries(), 496);
    QCOMPARE(log.ops, QList<TOperationType>{otScreenReady}); // the flag of the second part
    // Entries keep their bytes and order.
    QCOMPARE(QByteArray(dev.screenBuffer() + 248 * 4, 4), p2.mid(8, 4));

    TQelBase dev2;
    dev2.ComPortRxBuf(p1 + p2.left(500), 0);
    QCOMPARE(dev2.screenEntries(), 248);
    dev2.ComPortRxBuf(p2.mid(500), 1); // the rest of the second part comes soon after
    QCOMPARE(dev2.screenEntries(), 496);

    // Three replies of 248, 248 and 100 entries with flags 0, 0, 1.
    TQelBase dev3;
    EventLog log3;
    dev3.SetComCallback(log3.callback());
    dev3.ComPortRxBuf(screenFrame(248, false), 0);
    dev3.ComPortRxBuf(screenFrame(248, false), 1);
    QVERIFY(log3.ops.isEmpty());
    dev3.ComPortRxBuf(screenFrame(100, true), 2);
    QCOMPARE(dev3.screenEntries(), 596);
    QCOMPARE(log3.ops, QList<TOperationType>{otScreenReady});
}

void TstProtocol::screenCountsAreClamped_data()
{
    QTest::addColumn<int>("claimed");
    QTest::addColumn<int>("held");
    QTest::addColumn<int>("expected");
    QTest::newRow("claims more than the frame") << 5000 << 10 << 10;
    QTest::newRow("claims zero") << 0 << 10 << 0;
    QTest::newRow("exact") << 10 << 10 << 10;
}

void TstProtocol::screenCountsAreClamped()
{
    QFETCH(int, claimed);
    QFETCH(int, held);
    QFETCH(int, expected);
    TQelBase dev;
    QByteArray f = screenFrame(held, false);
    put16(f.data() + 6, uint16_t(claimed));
    dev.ComPortRxBuf(f, 0);
    QCOMPARE(dev.screenEntries(), expected);
}

void TstProtocol::callbackReleasingTheObjectStopsDispatch()
{
    // A window may drop its workspace from inside the callback; the frames still waiting
    // in the same buffer must not be handled by the freed object.
    auto* dev = new TQelBase;
    int calls = 0;
    dev->SetComCallback([&](TOperationType) {
        ++calls;
        delete dev;
    });
    dev->ComPortRxBuf(rawFrame(12, 10, dcClockWrite) + rawFrame(12, 10, dcMatWrite), 0);
    QCOMPARE(calls, 1);
}

QTEST_GUILESS_MAIN(TstProtocol)
#include "tst_protocol.moc"
