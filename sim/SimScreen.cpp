#include "SimScreen.h"

#include "device/Protocol.h"

#include <QString>
#include <algorithm>
#include <array>
#include <cmath>

namespace {

constexpr int W = TSimScreen::kWidth;
constexpr int H = TSimScreen::kHeight;

constexpr uint16_t cBlack = TSimScreen::rgb565(0, 0, 0);
constexpr uint16_t cWhite = TSimScreen::rgb565(255, 255, 255);
constexpr uint16_t cTitle = TSimScreen::rgb565(0, 48, 120);
constexpr uint16_t cGrey = TSimScreen::rgb565(96, 96, 96);
constexpr uint16_t cDark = TSimScreen::rgb565(32, 32, 40);
constexpr uint16_t cYellow = TSimScreen::rgb565(255, 210, 0);
constexpr uint16_t cGreen = TSimScreen::rgb565(40, 200, 60);
constexpr uint16_t cCyan = TSimScreen::rgb565(0, 200, 230);
constexpr uint16_t cRed = TSimScreen::rgb565(230, 30, 30);

// 3 x 5 glyphs, one octal digit per row, the high bit on the left.
const char* glyph(QChar ch)
{
    static const char* const digits[10] = {"75557", "26227", "71747", "71717", "55711",
                                           "74717", "74757", "71122", "75757", "75717"};
    static const char* const letters[26] = {
        "25755", "65656", "34443", "65556", "74647", "74644", "34553", "55755", "72227",
        "11152", "55655", "44447", "57755", "57775", "25552", "65644", "25553", "65655",
        "34216", "72222", "55557", "55552", "55775", "55255", "55222", "71247"};
    const char16_t c = ch.toUpper().unicode();
    if (c >= u'0' && c <= u'9')
        return digits[c - u'0'];
    if (c >= u'A' && c <= u'Z')
        return letters[c - u'A'];
    switch (c) {
    case u':':
        return "02020";
    case u'.':
        return "00002";
    case u'-':
        return "00700";
    case u'/':
        return "11244";
    default:
        return "00000";
    }
}

class TCanvas
{
public:
    explicit TCanvas(uint16_t bg) { fPix.fill(bg); }

    void fill(int x, int y, int w, int h, uint16_t c)
    {
        const int x0 = std::max(x, 0), x1 = std::min(x + w, W);
        const int y0 = std::max(y, 0), y1 = std::min(y + h, H);
        for (int yy = y0; yy < y1; ++yy)
            for (int xx = x0; xx < x1; ++xx)
                fPix[size_t(yy * W + xx)] = c;
    }
    void frame(int x, int y, int w, int h, uint16_t c)
    {
        fill(x, y, w, 1, c);
        fill(x, y + h - 1, w, 1, c);
        fill(x, y, 1, h, c);
        fill(x + w - 1, y, 1, h, c);
    }
    // Returns the x after the text.
    int text(int x, int y, const QString& s, uint16_t c, int scale = 1)
    {
        for (QChar ch : s) {
            const char* g = glyph(ch);
            for (int row = 0; row < 5; ++row) {
                const int bits = g[row] - '0';
                for (int col = 0; col < 3; ++col)
                    if (bits & (4 >> col))
                        fill(x + col * scale, y + row * scale, scale, scale, c);
            }
            x += 4 * scale;
        }
        return x;
    }
    uint16_t at(int x, int y) const { return fPix[size_t(y * W + x)]; }

private:
    std::array<uint16_t, size_t(W* H)> fPix;
};

QString two(int v)
{
    return QString::number(v).rightJustified(2, u'0');
}

} // namespace

void TSimScreen::advance(const QDateTime& now)
{
    fNow = now;
    ++fStep;
}

void TSimScreen::setResult(const TArchQEL& result)
{
    fResult = result;
}

void TSimScreen::clearResult()
{
    fResult.reset();
}

QList<uint16_t> TSimScreen::image() const
{
    TCanvas cv(cBlack);

    // Title bar with the battery on the right.
    cv.fill(0, 0, W, 16, cTitle);
    cv.text(4, 3, QStringLiteral("QEL-1"), cWhite, 2);
    cv.frame(102, 4, 19, 9, cWhite);
    cv.fill(121, 6, 2, 5, cWhite);
    cv.fill(104, 6, 12, 5, cGreen);

    // Clock and date.
    const QDateTime now = fNow.isValid() ? fNow : QDateTime(QDate(2025, 1, 1), QTime(0, 0));
    const QTime tm = now.time();
    cv.text(4, 20, two(tm.hour()) + ':' + two(tm.minute()) + ':' + two(tm.second()), cWhite, 2);
    const QDate d = now.date();
    cv.text(88, 25, two(d.day()) + '.' + two(d.month()) + '.' + two(d.year() % 100), cGrey);
    cv.fill(0, 33, W, 1, cGrey);

    // The last result.
    const QString dash = QStringLiteral("--");
    struct Row
    {
        QString label, value, unit;
    };
    const TArchQEL* r = fResult ? &*fResult : nullptr;
    const Row rows[] = {
        {QStringLiteral("N"), r ? QString::number(r->Base.Num) : dash, QString()},
        {QStringLiteral("M"), r ? QString::number(double(r->M), 'f', 2) : dash,
         QStringLiteral("S/CM3")},
        {QStringLiteral("H"), r && r->MeasMode != 0 ? QString::number(double(r->H), 'f', 2) : dash,
         QStringLiteral("CM")},
        {QStringLiteral("P"), r ? QString::number(r->AirCode / 100.0, 'f', 1) : dash,
         QStringLiteral("KPA")},
        {QStringLiteral("T"), r ? QString::number(double(r->Temperature), 'f', 1) : dash,
         QStringLiteral("C")},
        {QStringLiteral("W"), r ? QString::number(r->W) : dash, QString()},
    };
    int y = 38;
    for (const Row& row : rows) {
        cv.text(4, y, row.label, cYellow);
        cv.text(20, y, row.value.rightJustified(7), cWhite);
        cv.text(56, y, row.unit, cGrey);
        y += 8;
    }

    // Pressure curve with a marker running along it.
    const int gx = 4, gy = 88, gw = W - 8, gh = 56;
    cv.frame(gx, gy, gw, gh, cGrey);
    const double tau = 12.0 + 10.0 * std::min(5.0, r ? double(r->M) : 1.0);
    auto curveY = [&](int i) {
        const double v = 1.0 - std::exp(-i / tau);
        return gy + gh - 3 - int(std::lround(v * (gh - 6)));
    };
    for (int i = 0; i < gw - 4; ++i) {
        const int y0 = curveY(i), y1 = i + 1 < gw - 4 ? curveY(i + 1) : y0;
        cv.fill(gx + 2 + i, std::min(y0, y1), 1, std::abs(y1 - y0) + 1, cCyan);
    }
    const int mi = fStep % (gw - 4);
    cv.fill(gx + 2 + mi - 1, curveY(mi) - 1, 3, 3, cRed);

    // Soft keys.
    cv.fill(0, H - 12, W, 12, cDark);
    cv.text(4, H - 9, QStringLiteral("MENU"), cWhite);
    cv.text(W - 4 - 4 * 5, H - 9, QStringLiteral("START"), cWhite);

    QList<uint16_t> out;
    out.reserve(kPixels);
    for (int yy = 0; yy < H; ++yy)
        for (int xx = 0; xx < W; ++xx)
            out.append(cv.at(xx, yy));
    return out;
}

QList<uint16_t> TSimScreen::pixels() const
{
    const QList<uint16_t> img = image();
    QList<uint16_t> out;
    out.reserve(kPixels);
    // The receiver decodes the first pixel as the bottom-left one.
    for (int yy = H - 1; yy >= 0; --yy)
        out.append(img.sliced(qsizetype(yy) * W, W));
    return out;
}

QByteArray TSimScreen::screenEntries() const
{
    if (fCustom)
        return *fCustom;
    return encodeRle(pixels());
}

void TSimScreen::setScreenEntries(const QByteArray& entries)
{
    fCustom = entries;
}

void TSimScreen::clearScreenEntries()
{
    fCustom.reset();
}

QByteArray TSimScreen::encodeRle(const QList<uint16_t>& pixels)
{
    QByteArray out;
    qsizetype i = 0;
    while (i < pixels.size()) {
        const uint16_t c = pixels[i];
        qsizetype j = i + 1;
        while (j < pixels.size() && pixels[j] == c && j - i < 65535)
            ++j;
        char e[4];
        qelproto::put16(e, c);
        qelproto::put16(e + 2, uint16_t(j - i));
        out.append(e, 4);
        i = j;
    }
    return out;
}
