#include "app/Settings.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QScopeGuard>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

#include <limits>

Q_DECLARE_METATYPE(TGuiConfig)

char* toString(const TGuiConfig& c)
{
    return QTest::toString(QStringLiteral("{Placement %1, Vert %2, Horiz %3, Skin \"%4\", "
                                          "SkinEnable %5, Lang %6, Dimension %7, AutoClock %8, "
                                          "PrintComments %9}")
                               .arg(PlacementToHex(c.Placement))
                               .arg(c.VertSplitter)
                               .arg(c.HorizSplitter)
                               .arg(c.Skin)
                               .arg(c.SkinEnable)
                               .arg(int(c.Lang))
                               .arg(int(c.Dimension))
                               .arg(c.AutoClock)
                               .arg(c.PrintComments));
}

namespace {

// Points the settings file into a fresh temporary folder, or a path below it.
class ConfigDir
{
public:
    explicit ConfigDir(const QString& below = {}) : fDir(fTmp.path() + below)
    {
        qputenv("QEL_CONFIG_DIR", QFile::encodeName(fDir));
    }
    QString root() const { return fTmp.path(); }
    QString dir() const { return fDir; }
    QString file() const { return fDir + QStringLiteral("/QEL.ini"); }
    void write(const QByteArray& text) const
    {
        QDir().mkpath(fDir);
        QFile f(file());
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(text);
    }
    // The file's bytes; a null array when there is no file.
    QByteArray bytes() const
    {
        QFile f(file());
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }

private:
    QTemporaryDir fTmp;
    QString fDir;
};

void makeRegularFile(const QString& path)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write("x");
}

template <typename F> TGuiConfig with(TGuiConfig c, F change)
{
    change(c);
    return c;
}

// What the window holds before loading: every field differs from the resource defaults.
TGuiConfig held()
{
    return with(TGuiConfig{}, [](TGuiConfig& c) {
        c.Placement = QByteArray::fromHex("AABBCCDD");
        c.VertSplitter = 300;
        c.HorizSplitter = 50;
        c.Skin = QStringLiteral("Windows");
        c.SkinEnable = true;
        c.Lang = enUS;
        c.Dimension = puKgCm2;
        c.AutoClock = true;
        c.PrintComments = true;
        c.ReportHeaderLines = {QStringLiteral("ООО «Бетон», лаборатория"), QString(),
                               QStringLiteral("a=b; \"c\"")};
        c.ReportHeaderLogo = QByteArray("\x89PNG\0\xff", 7);
    });
}

// cfg after loading an existing file that holds none of the keys.
TGuiConfig fromKeylessFile(TGuiConfig c)
{
    c.Lang = ruRU;
    c.Dimension = puKPa;
    c.AutoClock = false;
    c.PrintComments = false;
    return c;
}

QByteArray bytesCounting(int n, int step)
{
    QByteArray b;
    for (int i = 0; i < n; ++i)
        b.append(char(i * step));
    return b;
}

QString unableToWrite()
{
    return QStringLiteral("Unable to write to %1")
        .arg(QDir::toNativeSeparators(QDir::cleanPath(GetConfigFileName())));
}

} // namespace

class TestSettings : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();

    void locationFollowsEnvironment();
    void unusableFileLeavesConfigUntouched_data();
    void unusableFileLeavesConfigUntouched();
    void saveThenLoadRestoresEveryField_data();
    void saveThenLoadRestoresEveryField();
    void savedFileHoldsDocumentedKeysAndTexts();
    void saveKeepsOtherKeysAndRepairsMalformedFile();
    void saveReportsUnwritableFileAndKeepsIt_data();
    void saveReportsUnwritableFileAndKeepsIt();
    void handWrittenFileIsRead_data();
    void handWrittenFileIsRead();
    void parseIniInt_data();
    void parseIniInt();
    void placementToHexIsUpperCaseAndRoundTrips();
    void hexOverPlacement_data();
    void hexOverPlacement();
    void createConfigFoldersMakesFolderAndScreenShots();
    void createConfigFoldersReportsFailure_data();
    void createConfigFoldersReportsFailure();

private:
    QTemporaryDir fFallback; // where a test that sets no folder of its own would write
    bool fPermissionsEnforced = true;
};

void TestSettings::initTestCase()
{
    QVERIFY(fFallback.isValid());
    // Root ignores file permissions; the read-only cases need them.
    const QString probe = fFallback.filePath(QStringLiteral("probe"));
    makeRegularFile(probe);
    QFile::setPermissions(probe, QFileDevice::ReadOwner);
    QFile f(probe);
    fPermissionsEnforced = !f.open(QIODevice::WriteOnly | QIODevice::Append);
    f.close();
    QFile::setPermissions(probe, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
}

void TestSettings::init()
{
    qputenv("QEL_CONFIG_DIR", QFile::encodeName(fFallback.path()));
}

void TestSettings::locationFollowsEnvironment()
{
    const ConfigDir cd(QStringLiteral("/some folder"));
    QCOMPARE(GetConfigFileName(), cd.dir() + QStringLiteral("/QEL.ini"));
    QCOMPARE(ScreenShotFolder(), cd.dir() + QStringLiteral("/ScreenShots"));

    qputenv("QEL_CONFIG_DIR", QByteArray());
    QVERIFY(GetConfigFileName().endsWith(QStringLiteral("/Prandel/QEL/QEL.ini")));
    QVERIFY(!GetConfigFileName().startsWith(QStringLiteral("/Prandel")));
    QCOMPARE(ScreenShotFolder(), QFileInfo(GetConfigFileName()).path() + "/ScreenShots");
}

void TestSettings::unusableFileLeavesConfigUntouched_data()
{
    QTest::addColumn<int>("kind");
    QTest::newRow("no file") << 0;
    QTest::newRow("QEL.ini is a folder") << 1;
    QTest::newRow("unreadable file") << 2;
}

void TestSettings::unusableFileLeavesConfigUntouched()
{
    QFETCH(int, kind);
    if (kind == 2 && !fPermissionsEnforced)
        QSKIP("file permissions are not enforced for this user (root)");
    const ConfigDir cd;
    if (kind == 1)
        QVERIFY(QDir().mkpath(cd.file()));
    if (kind == 2) {
        cd.write("[Settings]\nLanguage=0\n");
        QFile::setPermissions(cd.file(), QFileDevice::WriteOwner);
    }
    QCOMPARE(ConfigFileExists(), kind == 2);
    TGuiConfig cfg = held();
    LoadConfig(cfg);
    QCOMPARE(cfg, held());
    QCOMPARE(ConfigFileExists(), kind == 2);
}

void TestSettings::saveThenLoadRestoresEveryField_data()
{
    QTest::addColumn<TGuiConfig>("start");
    QTest::addColumn<TGuiConfig>("saved");

    const TGuiConfig a = with(TGuiConfig{}, [](TGuiConfig& c) {
        c.Placement = bytesCounting(44, 37); // 00 and FF among them
        c.VertSplitter = 512;
        c.HorizSplitter = 120;
        c.Skin = QStringLiteral("Скин, «2» ; x=y");
        c.SkinEnable = true;
        c.Lang = enUS;
        c.Dimension = puMmRtSt;
        c.AutoClock = false;
        c.PrintComments = true;
    });
    // Differs from a in every field; its placement is longer, so it replaces a's fully.
    const TGuiConfig b = with(TGuiConfig{}, [](TGuiConfig& c) {
        c.Placement = bytesCounting(66, 101);
        c.VertSplitter = 0;
        c.HorizSplitter = 1;
        c.Skin = QStringLiteral("Fusion");
        c.SkinEnable = false;
        c.Lang = ruRU;
        c.Dimension = puATM;
        c.AutoClock = true;
        c.PrintComments = false;
        c.ReportHeaderLines = {QStringLiteral("Lab")};
        c.ReportHeaderLogo = {};
    });
    QTest::newRow("every field off its default") << TGuiConfig{} << a;
    QTest::newRow("every field changed back") << a << b;
}

void TestSettings::saveThenLoadRestoresEveryField()
{
    QFETCH(TGuiConfig, start);
    QFETCH(TGuiConfig, saved);
    const ConfigDir cd(QStringLiteral("/not/yet")); // saving creates the folders
    QCOMPARE(SaveConfig(saved), QString());
    QVERIFY(ConfigFileExists());
    LoadConfig(start);
    QCOMPARE(start, saved);
}

void TestSettings::savedFileHoldsDocumentedKeysAndTexts()
{
    const ConfigDir cd;
    const TGuiConfig cfg = with(TGuiConfig{}, [](TGuiConfig& c) {
        c.Placement = QByteArray::fromHex("00ab7f10ff");
        c.VertSplitter = 467;
        c.HorizSplitter = 98;
        c.Skin = QStringLiteral("Lucky");
        c.SkinEnable = true;
        c.Lang = enUS;
        c.Dimension = puKgCm2;
        c.AutoClock = false;
        c.PrintComments = true;
    });
    QCOMPARE(SaveConfig(cfg), QString());

    const QSettings ini(cd.file(), QSettings::IniFormat);
    QMap<QString, QString> texts;
    for (const QString& key : ini.allKeys())
        texts.insert(key, ini.value(key).toString());
    const QMap<QString, QString> expected{
        {"GUI/Placement", "00AB7F10FF"}, {"GUI/VertSplitter", "467"},
        {"GUI/HorizSplitter", "98"},     {"GUI/Skin", "Lucky"},
        {"GUI/SkinEnable", "1"},         {"Settings/Language", "1"},
        {"Settings/Dimension", "2"},     {"Settings/AutoClock", "0"},
        {"Settings/PrintComments", "1"},
    };
    QCOMPARE(texts, expected);
}

void TestSettings::saveKeepsOtherKeysAndRepairsMalformedFile()
{
    const ConfigDir cd;
    // The unclosed section header makes QSettings report a format error on reading.
    cd.write("[Other]\nKeep=yes\n[GUI\nVertSplitter=1\n");
    const TGuiConfig cfg = with(held(), [](TGuiConfig& c) { c.VertSplitter = 222; });
    QCOMPARE(SaveConfig(cfg), QString());

    TGuiConfig loaded;
    LoadConfig(loaded);
    QCOMPARE(loaded, cfg);
    const QSettings ini(cd.file(), QSettings::IniFormat);
    QCOMPARE(ini.value("Other/Keep").toString(), QStringLiteral("yes"));
}

void TestSettings::saveReportsUnwritableFileAndKeepsIt_data()
{
    QTest::addColumn<int>("kind");
    QTest::newRow("folder below a regular file") << 0;
    QTest::newRow("read-only file") << 1;
    QTest::newRow("malformed file in a read-only folder") << 2;
}

void TestSettings::saveReportsUnwritableFileAndKeepsIt()
{
    QFETCH(int, kind);
    if (kind != 0 && !fPermissionsEnforced)
        QSKIP("file permissions are not enforced for this user (root)");

    const ConfigDir cd(kind == 0 ? QStringLiteral("/plain/QEL") : QStringLiteral("/cfg"));
    QString locked; // restored at the end so that the folder can be removed
    if (kind == 0) {
        makeRegularFile(cd.root() + QStringLiteral("/plain"));
    } else {
        // A malformed file must not hide the failed write behind its format error.
        cd.write(kind == 1 ? "[Settings]\nLanguage=1\n" : "[GUI\nVertSplitter=1\n");
        locked = kind == 1 ? cd.file() : cd.dir();
    }
    const QFileDevice::Permissions before = QFile::permissions(locked);
    const auto restore = qScopeGuard([&] {
        if (!locked.isEmpty())
            QFile::setPermissions(locked, before);
    });
    if (!locked.isEmpty())
        QFile::setPermissions(locked,
                              before & ~(QFileDevice::WriteOwner | QFileDevice::WriteUser |
                                         QFileDevice::WriteGroup | QFileDevice::WriteOther));
    const QByteArray old = cd.bytes();

    const QString message = SaveConfig(held());
    QVERIFY2(message.startsWith(unableToWrite()), qPrintable(message));
    QCOMPARE(cd.bytes(), old);
    QCOMPARE(cd.bytes().isNull(), kind == 0);
}

void TestSettings::handWrittenFileIsRead_data()
{
    QTest::addColumn<TGuiConfig>("start");
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<TGuiConfig>("expected");

    const TGuiConfig english = held();
    const TGuiConfig russian = with(held(), [](TGuiConfig& c) { c.Lang = ruRU; });
    const TGuiConfig keyless = fromKeylessFile(held());

    QTest::newRow("only the Settings section")
        << russian << QByteArray("[Settings]\nLanguage=1\nDimension=3\n")
        << with(fromKeylessFile(russian), [](TGuiConfig& c) {
               c.Lang = enUS;
               c.Dimension = puMmRtSt;
           });
    QTest::newRow("empty file turns the options off") << english << QByteArray() << keyless;
    QTest::newRow("Language 0x1 is English")
        << russian << QByteArray("[Settings]\nLanguage=0x1\n")
        << with(fromKeylessFile(russian), [](TGuiConfig& c) { c.Lang = enUS; });
    QTest::newRow("Language of letters is Russian")
        << english << QByteArray("[Settings]\nLanguage=abc\n") << keyless;
    QTest::newRow("Language 7 is Russian")
        << english << QByteArray("[Settings]\nLanguage=7\n") << keyless;
    QTest::newRow("Language as a list is Russian")
        << english << QByteArray("[Settings]\nLanguage=1,1\n") << keyless;
    QTest::newRow("Dimension 9 is kPa")
        << english << QByteArray("[Settings]\nDimension=9\n") << keyless;
    QTest::newRow("Dimension -1 is kPa")
        << english << QByteArray("[Settings]\nDimension=-1\n") << keyless;
    QTest::newRow("Dimension $3 and options as numbers")
        << english << QByteArray("[Settings]\nDimension=$3\nAutoClock=2\nPrintComments=0X1\n")
        << with(keyless, [](TGuiConfig& c) {
               c.Dimension = puMmRtSt;
               c.AutoClock = true;
               c.PrintComments = true;
           });
    QTest::newRow("options of letters are off")
        << english << QByteArray("[Settings]\nAutoClock=yes\nPrintComments=on\n") << keyless;
    QTest::newRow("GUI values parsed")
        << english
        << QByteArray("[GUI]\nVertSplitter=0x10\nHorizSplitter= 12 \nSkin=Windows, internal\n"
                      "SkinEnable=0\nPlacement=0102\n")
        << with(keyless, [](TGuiConfig& c) {
               c.VertSplitter = 16;
               c.HorizSplitter = 12;
               c.Skin = QStringLiteral("Windows, internal");
               c.SkinEnable = false;
               c.Placement = QByteArray::fromHex("0102CCDD");
           });
    QTest::newRow("unusable GUI values keep cfg")
        << english
        << QByteArray("[GUI]\nVertSplitter=abc\nHorizSplitter=-5\nSkin=\nSkinEnable=yes\n"
                      "Placement=zz01\n")
        << keyless;
}

void TestSettings::handWrittenFileIsRead()
{
    QFETCH(TGuiConfig, start);
    QFETCH(QByteArray, text);
    QFETCH(TGuiConfig, expected);
    const ConfigDir cd;
    cd.write(text);
    LoadConfig(start);
    QCOMPARE(start, expected);
}

void TestSettings::parseIniInt_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("expected");
    constexpr int def = -99;
    constexpr int maxInt = std::numeric_limits<int>::max();
    constexpr int minInt = std::numeric_limits<int>::min();

    QTest::newRow("0x1") << "0x1" << 1;
    QTest::newRow("0X1f") << "0X1f" << 31;
    QTest::newRow("$1F") << "$1F" << 31;
    QTest::newRow("$ff") << "$ff" << 255;
    QTest::newRow("12") << "12" << 12;
    QTest::newRow("blanks around") << " 7 " << 7;
    QTest::newRow("tab around hex") << "\t$A\t" << 10;
    QTest::newRow("-3") << "-3" << -3;
    QTest::newRow("+5") << "+5" << 5;
    QTest::newRow("leading zeros are decimal") << "010" << 10;
    QTest::newRow("largest int") << "2147483647" << maxInt;
    QTest::newRow("largest int in hex") << "0x7FFFFFFF" << maxInt;
    QTest::newRow("smallest int") << "-2147483648" << minInt;

    QTest::newRow("letters") << "abc" << def;
    QTest::newRow("empty") << "" << def;
    QTest::newRow("blanks only") << "   " << def;
    QTest::newRow("0x alone") << "0x" << def;
    QTest::newRow("$ alone") << "$" << def;
    QTest::newRow("exponent") << "1e3" << def;
    QTest::newRow("fraction") << "1.5" << def;
    QTest::newRow("trailing letters") << "12abc" << def;
    QTest::newRow("inner blank") << "1 2" << def;
    QTest::newRow("blank after 0x") << "0x 1" << def;
    QTest::newRow("double prefix") << "0x0x1" << def;
    QTest::newRow("signed hex") << "-0x1" << def;
    QTest::newRow("sign after $") << "$-1" << def;
    QTest::newRow("two signs") << "+-1" << def;
    QTest::newRow("decimal beyond int") << "2147483648" << def;
    QTest::newRow("hex beyond int") << "0x80000000" << def;
    QTest::newRow("non-ASCII digit") << QStringLiteral("\u0663") << def;
}

void TestSettings::parseIniInt()
{
    QFETCH(QString, text);
    QFETCH(int, expected);
    QCOMPARE(ParseIniInt(text, -99), expected);
}

void TestSettings::placementToHexIsUpperCaseAndRoundTrips()
{
    QCOMPARE(PlacementToHex(QByteArray::fromHex("00abcdef7f10ff")),
             QStringLiteral("00ABCDEF7F10FF"));
    QCOMPARE(PlacementToHex(QByteArray()), QString());

    const QByteArray every = bytesCounting(256, 1);
    QByteArray back;
    HexOverPlacement(PlacementToHex(every), back);
    QCOMPARE(back, every);
}

void TestSettings::hexOverPlacement_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QByteArray>("before");
    QTest::addColumn<QByteArray>("expected");
    const QByteArray four = QByteArray::fromHex("AABBCCDD");

    QTest::newRow("same length replaces all")
        << "0a0B0c0D" << four << QByteArray::fromHex("0A0B0C0D");
    QTest::newRow("fewer digits replace only the first bytes")
        << "0a0B" << four << QByteArray::fromHex("0A0BCCDD");
    QTest::newRow("more digits grow it")
        << "0102030405" << four << QByteArray::fromHex("0102030405");
    QTest::newRow("into empty") << "DEAD" << QByteArray() << QByteArray::fromHex("DEAD");
    QTest::newRow("pair of letters stops") << "01zz03" << four << QByteArray::fromHex("01BBCCDD");
    QTest::newRow("half-hex pair stops") << "010g03" << four << QByteArray::fromHex("01BBCCDD");
    QTest::newRow("odd last digit dropped") << "010" << four << QByteArray::fromHex("01BBCCDD");
    QTest::newRow("leading blank stops at once") << " 0102" << four << four;
    QTest::newRow("empty text") << "" << four << four;
}

void TestSettings::hexOverPlacement()
{
    QFETCH(QString, text);
    QFETCH(QByteArray, before);
    QFETCH(QByteArray, expected);
    HexOverPlacement(text, before);
    QCOMPARE(before, expected);
}

void TestSettings::createConfigFoldersMakesFolderAndScreenShots()
{
    const ConfigDir cd(QStringLiteral("/Prandel/QEL"));
    QString error = QStringLiteral("untouched");
    QVERIFY(CreateConfigFolders(&error));
    QVERIFY(QFileInfo(cd.dir()).isDir());
    QVERIFY(QFileInfo(ScreenShotFolder()).isDir());
    QVERIFY(CreateConfigFolders(&error)); // they exist now: still fine
    QCOMPARE(error, QStringLiteral("untouched"));
    QVERIFY(!ConfigFileExists());
}

void TestSettings::createConfigFoldersReportsFailure_data()
{
    QTest::addColumn<bool>("screenShotsIsFile");
    QTest::newRow("settings folder below a regular file") << false;
    QTest::newRow("ScreenShots is a regular file") << true;
}

void TestSettings::createConfigFoldersReportsFailure()
{
    QFETCH(bool, screenShotsIsFile);
    const ConfigDir cd(screenShotsIsFile ? QStringLiteral("/cfg") : QStringLiteral("/plain/QEL"));
    if (screenShotsIsFile) {
        QVERIFY(QDir().mkpath(cd.dir()));
        makeRegularFile(ScreenShotFolder());
    } else {
        makeRegularFile(cd.root() + QStringLiteral("/plain"));
    }
    const QString failed = screenShotsIsFile ? ScreenShotFolder() : cd.dir();

    QString error;
    QVERIFY(!CreateConfigFolders(&error));
    QCOMPARE(error, QStringLiteral("Unable to create folder ") +
                        QDir::toNativeSeparators(QDir::cleanPath(failed)));
    QVERIFY(!CreateConfigFolders()); // no message wanted: must not crash
}

QTEST_GUILESS_MAIN(TestSettings)
#include "tst_settings.moc"
