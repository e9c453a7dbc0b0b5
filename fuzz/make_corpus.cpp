// Writes the seed inputs of the fuzz targets with the program's own framing and file code:
//   make_corpus <folder>   (creates <folder>/<target>/ and the seeds in it)
// The seeds are committed; run this only to change them.
#include "data/ArchiveFile.h"
#include "data/Formats.h"
#include "device/Protocol.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <cstdio>
#include <cstdlib>
#include <cstring>

using namespace qelproto;

namespace {

QString gRoot;

void write(const QString& target, const QString& name, const QByteArray& bytes)
{
    QDir().mkpath(gRoot + u'/' + target);
    QFile f(gRoot + u'/' + target + u'/' + name);
    if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size()) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(f.fileName()));
        std::exit(1);
    }
}

TArchQEL record(uint16_t absIndex, uint16_t sampleCount)
{
    TArchQEL r{};
    r.Base.AbsIndex = absIndex;
    r.Base.Num = uint16_t(absIndex + 1);
    r.Base.DateTime = {24, 3, 9, 12, int8_t(absIndex % 60)};
    std::memcpy(r.QelObj.Name, "Bridge", 6);
    std::memcpy(r.QelMat.Name, "\xc1\xe5\xf2\xee\xed", 5); // "Бетон"
    r.SampleCount = sampleCount;
    r.SampleFreq = 10;
    r.TestTime = 60;
    r.Temperature = 21.5f;
    r.M = 0.125f;
    r.H = 2.0f;
    r.W = 7;
    return r;
}

QByteArray bytesOf(const void* p, int n)
{
    return QByteArray(static_cast<const char*>(p), n);
}

QByteArray identityReply()
{
    TQelInfo info{};
    info.StrictVersion = 1;
    info.DevType = dev12;
    info.DevVersion = 2;
    info.SerialNumber = 0xA005;
    std::memcpy(info.SoftVersion, "1.07", 4);
    return buildFrame(dcDevInfo, QByteArray(4, '\0') + bytesOf(&info, sizeof info));
}

QByteArray headReply(uint16_t head, uint16_t count, const TArchQEL& rec)
{
    QByteArray body(4, '\0');
    put16(body.data(), head);
    put16(body.data() + 2, count);
    return buildFrame(dcArchHead, body + bytesOf(&rec, sizeof rec));
}

QByteArray recordsReply(const QList<TArchQEL>& recs)
{
    QByteArray body(4, '\0');
    body[0] = char(recs.size());
    for (const TArchQEL& r : recs)
        body += bytesOf(&r, sizeof r);
    return buildFrame(dcArchBlock, body);
}

QByteArray samplesReply(uint16_t first, int count)
{
    QByteArray body(4, '\0');
    put16(body.data() + 2, uint16_t(count));
    for (int i = 0; i < count; ++i) {
        char s[2];
        put16(s, uint16_t(first + 10 * i));
        body.append(s, 2);
    }
    return buildFrame(dcArchSamples, body);
}

// One piece of a receive input: control byte, 16-bit length, bytes.
QByteArray piece(const QByteArray& bytes, uint8_t ctl = 1)
{
    QByteArray p(3, '\0');
    p[0] = char(ctl);
    put16(p.data() + 1, uint16_t(bytes.size()));
    return p + bytes;
}

// An identity, the clock answer, then an archive of three results: the head, one records
// reply with two more, and the series (the last in two parts).
QList<QByteArray> downloadReplies()
{
    return {identityReply(),
            buildFrame(dcClockWrite, {}),
            headReply(3, 3, record(3, 4)),
            recordsReply({record(2, 3), record(1, 6)}),
            samplesReply(500, 4),
            samplesReply(400, 3),
            samplesReply(300, 4),
            samplesReply(340, 2)};
}

QByteArray receiveInput(bool arbitrary, const QByteArray& script, uint8_t ctl)
{
    QByteArray in;
    in += char(arbitrary ? 1 : 0);
    in += char(script.size());
    in += script;
    for (const QByteArray& r : downloadReplies())
        in += piece(r, ctl);
    return in;
}

void receiveSeeds()
{
    write("fuzz_receive", "window-download", receiveInput(false, {}, 1));
    write("fuzz_receive", "window-events", receiveInput(false, {}, 0x11));

    // The replies in pieces of 7 bytes, with a pause past the stale-frame time in the middle.
    QByteArray cut;
    cut += char(0);
    cut += char(0);
    QByteArray all;
    for (const QByteArray& r : downloadReplies())
        all += r;
    for (qsizetype at = 0; at < all.size(); at += 7)
        cut += piece(all.mid(at, 7), at == 84 ? 0x0C : 0x01);
    write("fuzz_receive", "window-pieces", cut);

    // Load a file, read, remove, sort out duplicates, comment, show: in turn at each event.
    const QByteArray script("\x03\x01\x02\x01\x01\x04\x05\x00\x06\x12\x00\x7f\x07", 13);
    write("fuzz_receive", "calls-download", receiveInput(true, script, 0x81));

    // Busy, a screen part and silence in the middle of a download.
    QByteArray busy;
    busy += char(0);
    busy += char(0);
    busy += piece(headReply(3, 3, record(3, 4)));
    busy += piece(buildFrame(dcMeasIsGoing, {}));
    busy += piece(buildFrame(dcScreenShot, QByteArray(4, '\0') + QByteArray(40, '\x11')), 0x61);
    busy += piece(headReply(3, 3, record(3, 4)), 0x41);
    busy += piece(recordsReply({record(2, 3), record(1, 6)}), 0x21);
    write("fuzz_receive", "busy-silence", busy);
}

void archiveSeeds()
{
    const QString tmp = QDir::tempPath() + QStringLiteral("/qel-make-corpus.qel1x");
    TQelInfo info{};
    info.DevType = dev13;
    info.SerialNumber = 77;
    auto result = [](uint16_t absIndex, uint16_t count, int held, const QString& comment) {
        TCalcQEL r;
        r.ArchRes = record(absIndex, count);
        for (int i = 0; i < held; ++i)
            r.Samples.append(uint16_t(1000 - 7 * i));
        r.UserComment = comment;
        return r;
    };
    auto fileOf = [&](const QList<TCalcQEL>& results) {
        SaveArchiveFile(tmp, info, results, enUS);
        QFile f(tmp);
        f.open(QIODevice::ReadOnly);
        return f.readAll();
    };
    write("fuzz_archive_file", "three-results",
          fileOf({result(5, 12, 12, QStringLiteral("north wall")),
                  result(4, 8, 5, QStringLiteral("'quoted'\rsecond line")), // incomplete
                  result(3, 0, 0, {})}));
    write("fuzz_archive_file", "one-result", fileOf({result(1, 3, 3, QStringLiteral("x"))}));
    write("fuzz_archive_file", "empty", fileOf({}));
    QFile::remove(tmp);
}

QByteArray utf16(const QString& s)
{
    return QByteArray(reinterpret_cast<const char*>(s.utf16()), s.size() * 2);
}

void textSeeds()
{
    write("fuzz_text", "comment-plain",
          '\0' + utf16(QStringLiteral("first\rsecond line\r'it''s'")));
    write("fuzz_text", "comment-open-quote", '\0' + utf16(QStringLiteral("'no end \x01\x02 ''")));
    write("fuzz_text", "comment-lines",
          '\0' + utf16(QStringLiteral("a b\xFFFF\xFFFF'\xFFFF\u0416\u0435\xFFFF")));
    write("fuzz_text", "name-cyrillic", '\1' + qelfmt::encodeName(QStringLiteral("Бетон М300")));
    write("fuzz_text", "name-zero", QByteArray("\1Wall\0junk\x98\xff", 12));
}

void settingsSeeds()
{
    write("fuzz_settings", "full.ini",
          "[GUI]\r\nPlacement=2C0000000000000001000000FFFFFFFF\r\nVertSplitter=467\r\n"
          "HorizSplitter=$62\r\nSkin=Fusion\r\nSkinEnable=1\r\n[Settings]\r\nLanguage=1\r\n"
          "Dimension=0x3\r\nAutoClock=0\r\nPrintComments=1\r\n");
    write("fuzz_settings", "odd.ini",
          "[GUI]\nVertSplitter=-5\nHorizSplitter= +12 \nSkin=\nPlacement=abZ1\n"
          "[Settings]\nLanguage=7\nDimension=99999999999\n[Other]\nKey=\"quoted, list\"\n");
    write("fuzz_settings", "number", " -0x7fffffff");
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_corpus <folder>\n");
        return 2;
    }
    gRoot = QString::fromLocal8Bit(argv[1]);
    receiveSeeds();
    archiveSeeds();
    textSeeds();
    settingsSeeds();
    return 0;
}
