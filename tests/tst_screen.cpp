// The screen buffer decoded into a picture and into the bitmap file.
#include "device/Protocol.h"
#include "device/QelBase.h"
#include "device/ScreenImage.h"

#include <QImage>
#include <QTest>

using namespace qelscreen;

namespace {

struct Run
{
    uint16_t colour;
    uint16_t n;
};

QByteArray entries(std::initializer_list<Run> runs)
{
    QByteArray out;
    for (const Run& r : runs) {
        char e[4];
        qelproto::put16(e, r.colour);
        qelproto::put16(e + 2, r.n);
        out.append(e, 4);
    }
    return out;
}

QByteArray bgr0(int b, int g, int r)
{
    const char p[4] = {char(b), char(g), char(r), 0};
    return QByteArray(p, 4);
}

// The picture's pixel at bitmap position i.
QRgb imgPixel(const QImage& img, int i)
{
    return img.pixel(i % kWidth, kHeight - 1 - i / kWidth);
}

} // namespace

class TstScreen : public QObject
{
    Q_OBJECT
private slots:
    void headerIsTheFixedBitmapHeader();
    void coloursExpandWithLowBitsSet_data();
    void coloursExpandWithLowBitsSet();
    void runsFillRowsFromTheBottomUp();
    void runLengthsOutsideOneScreen_data();
    void runLengthsOutsideOneScreen();
    void deviceDrawsTheScreenItHolds();
};

void TstScreen::headerIsTheFixedBitmapHeader()
{
    const QByteArray bmp = screenBitmap(nullptr, 0);
    QCOMPARE(bmp.size(), 81974);
    QCOMPARE(bmp.left(54).toHex(' '), QByteArray("42 4d 36 40 01 00 00 00 00 00 36 00 00 00 28 00 "
                                                 "00 00 80 00 00 00 a0 00 00 00 01 00 20 00 00 00 "
                                                 "00 00 00 40 01 00 00 00 00 00 00 00 00 00 00 00 "
                                                 "00 00 00 00 00 00"));
    // Qt reads it as the picture the decoder gives.
    const QByteArray e = entries({{0x001F, 128}, {0xF800, 20352}});
    QImage fromFile;
    QVERIFY(fromFile.loadFromData(screenBitmap(e.constData(), 2), "BMP"));
    QCOMPARE(fromFile.convertToFormat(QImage::Format_RGB32), screenImage(e.constData(), 2));
}

void TstScreen::coloursExpandWithLowBitsSet_data()
{
    QTest::addColumn<int>("colour");
    QTest::addColumn<int>("blue");
    QTest::addColumn<int>("green");
    QTest::addColumn<int>("red");
    QTest::newRow("black") << 0x0000 << 7 << 4 << 7;
    QTest::newRow("white") << 0xFFFF << 255 << 252 << 255;
    QTest::newRow("red") << 0xF800 << 7 << 4 << 255;
    QTest::newRow("green") << 0x07E0 << 7 << 252 << 7;
    QTest::newRow("blue") << 0x001F << 255 << 4 << 7;
    QTest::newRow("lowest green bit") << 0x0020 << 7 << 4 << 7;
    QTest::newRow("second green bit") << 0x0040 << 7 << 12 << 7;
}

void TstScreen::coloursExpandWithLowBitsSet()
{
    QFETCH(int, colour);
    QFETCH(int, blue);
    QFETCH(int, green);
    QFETCH(int, red);
    // One run over the whole screen: every pixel carries the colour.
    const QByteArray e = entries({{uint16_t(colour), uint16_t(kPixels)}});
    const QByteArray bmp = screenBitmap(e.constData(), 1);
    QCOMPARE(bmp.mid(kBmpHeaderSize), bgr0(blue, green, red).repeated(kPixels));
    const QImage img = screenImage(e.constData(), 1);
    QCOMPARE(img.size(), QSize(128, 160));
    for (const int i : {0, 127, 128, kPixels - 1})
        QCOMPARE(imgPixel(img, i), qRgb(red, green, blue));
}

void TstScreen::runsFillRowsFromTheBottomUp()
{
    // A run of 0 between them draws nothing.
    const QByteArray e = entries({{0x001F, 100}, {0x07E0, 0}, {0x001F, 28}, {0xF800, 20352}});
    const QByteArray bmp = screenBitmap(e.constData(), 4);
    QCOMPARE(bmp.mid(kBmpHeaderSize, 128 * 4), bgr0(255, 4, 7).repeated(128));
    QCOMPARE(bmp.mid(kBmpHeaderSize + 128 * 4), bgr0(7, 4, 255).repeated(kPixels - 128));
    const QImage img = screenImage(e.constData(), 4);
    QCOMPARE(img.pixel(0, 159), qRgb(7, 4, 255));   // bottom-left: blue
    QCOMPARE(img.pixel(127, 159), qRgb(7, 4, 255)); // bottom-right: blue
    QCOMPARE(img.pixel(0, 158), qRgb(255, 4, 7));   // the row above: red
    QCOMPARE(img.pixel(0, 0), qRgb(255, 4, 7));     // top-left: red
}

void TstScreen::runLengthsOutsideOneScreen_data()
{
    QTest::addColumn<QByteArray>("runs");
    QTest::addColumn<int>("whitePixels"); // from the bottom-left; the rest black

    QTest::newRow("empty buffer") << QByteArray() << 0;
    QTest::newRow("one row") << entries({{0xFFFF, 128}}) << 128;
    QTest::newRow("half a row") << entries({{0xFFFF, 64}}) << 64;
    QTest::newRow("only runs of 0") << entries({{0xFFFF, 0}, {0xFFFF, 0}}) << 0;
    QTest::newRow("one run too long") << entries({{0xFFFF, 65535}}) << kPixels;
    QTest::newRow("runs beyond the screen")
        << entries({{0xFFFF, 20000}, {0xFFFF, 480}, {0, 999}}) << kPixels;
    QTest::newRow("one pixel short") << entries({{0xFFFF, kPixels - 1}}) << kPixels - 1;
}

void TstScreen::runLengthsOutsideOneScreen()
{
    QFETCH(QByteArray, runs);
    QFETCH(int, whitePixels);
    const int count = int(runs.size() / 4);
    const QByteArray bmp = screenBitmap(runs.constData(), count);
    QCOMPARE(bmp.size(), kBmpFileSize);
    QCOMPARE(bmp.mid(kBmpHeaderSize), bgr0(255, 252, 255).repeated(whitePixels) +
                                          QByteArray((kPixels - whitePixels) * 4, 0));
    const QImage img = screenImage(runs.constData(), count);
    QCOMPARE(img.size(), QSize(128, 160));
    if (whitePixels > 0)
        QCOMPARE(imgPixel(img, whitePixels - 1), qRgb(255, 252, 255));
    if (whitePixels < kPixels)
        QCOMPARE(imgPixel(img, whitePixels), qRgb(0, 0, 0));
}

void TstScreen::deviceDrawsTheScreenItHolds()
{
    TQelBase dev;
    QImage img(10, 10, QImage::Format_ARGB32);
    img.fill(Qt::green);
    // Two parts, the last flagged.
    auto part = [](const QByteArray& e, bool last) {
        QByteArray f(8, '\0');
        f[0] = char(0x80);
        qelproto::put16(f.data() + 1, uint16_t(6 + e.size()));
        f[3] = char(dcScreenShot);
        f[4] = last ? 1 : 0;
        qelproto::put16(f.data() + 6, uint16_t(e.size() / 4));
        return f + e;
    };
    dev.ComPortRxBuf(part(entries({{0x001F, 128}}), false), 0);
    dev.ComPortRxBuf(part(entries({{0xF800, 20352}}), true), 1);
    dev.UpdateScreenImg(img);
    const QByteArray both = entries({{0x001F, 128}, {0xF800, 20352}});
    QCOMPARE(img, screenImage(both.constData(), 2));
    QCOMPARE(dev.screenBitmap(), screenBitmap(both.constData(), 2));
    // A new request empties the buffer: the picture goes black.
    dev.GetScreenShot();
    dev.UpdateScreenImg(img);
    QCOMPARE(img.pixel(0, 0), qRgb(0, 0, 0));
}

QTEST_GUILESS_MAIN(TstScreen)
#include "tst_screen.moc"
