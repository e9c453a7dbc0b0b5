// The catalogue blocks: the grid filled from them and taken back, the factory defaults,
// the writes as the instrument receives them, and the catalogue file.
#include "TestSupport.h"
#include "data/Catalogues.h"
#include "data/Formats.h"
#include "data/StringGrid.h"
#include "sim/QelSim.h"
#include "sim/SimArchive.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>
#include <cstring>

using testsupport::EventRecorder;

namespace {

QByteArray bytesOf(const TMatBlock& b)
{
    return QByteArray(reinterpret_cast<const char*>(b.data()), kMatCfgSize);
}
QByteArray bytesOf(const TObjBlock& b)
{
    return QByteArray(reinterpret_cast<const char*>(b.data()), kObjCfgSize);
}
TMatBlock matBlock(const QByteArray& bytes)
{
    TMatBlock b{};
    std::memcpy(b.data(), bytes.constData(), size_t(kMatCfgSize));
    return b;
}
// Every byte 0xAA, so that a byte written by mistake shows.
TMatBlock filledMat()
{
    TMatBlock b;
    std::memset(b.data(), 0xAA, sizeof b);
    return b;
}
TObjBlock filledObj()
{
    TObjBlock b;
    std::memset(b.data(), 0xAA, sizeof b);
    return b;
}
quint32 bitsOf(float f)
{
    quint32 u;
    std::memcpy(&u, &f, 4);
    return u;
}

} // namespace

class TstCatalogues : public QObject
{
    Q_OBJECT
private slots:
    void enteredNameStoredCutWithLaterBytesKept_data();
    void enteredNameStoredCutWithLaterBytesKept();
    void fifteenByteNameShowsWholeAndIsCutOnWrite();
    void gridShowsCaptionsFixedRowsAndScientificCoefficients();
    void restoreFactoryInBothLanguages_data();
    void restoreFactoryInBothLanguages();
    void untouchedCoefficientKeptBitForBitEditedOneParsed();
    void badCoefficientChangesNothing_data();
    void badCoefficientChangesNothing();
    void deviceWritesWholeBlockAndInstrumentKeepsIt();
    void badCellSendsNothing();
    void catalogueFileRoundTrip();
    void catalogueFileRefusals_data();
    void catalogueFileRefusals();
    void backupsKeepTheNewestPerInstrumentAndCatalogue();
};

void TstCatalogues::enteredNameStoredCutWithLaterBytesKept_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QByteArray>("stored"); // bytes up to and with the zero byte
    QTest::newRow("20 characters")
        << QStringLiteral("ABCDEFGHIJKLMNOPQRST") << QByteArray("ABCDEFGHIJKLMN\0", 15);
    QTest::newRow("14 characters")
        << QStringLiteral("ABCDEFGHIJKLMN") << QByteArray("ABCDEFGHIJKLMN\0", 15);
    QTest::newRow("15 characters")
        << QStringLiteral("ABCDEFGHIJKLMNO") << QByteArray("ABCDEFGHIJKLMN\0", 15);
    QTest::newRow("empty") << QString() << QByteArray("\0", 1);
    QTest::newRow("Cyrillic, one byte each")
        << QStringLiteral("Бетон") << QByteArray("\xC1\xE5\xF2\xEE\xED\0", 6);
}

void TstCatalogues::enteredNameStoredCutWithLaterBytesKept()
{
    QFETCH(QString, text);
    QFETCH(QByteArray, stored);
    TMatBlock mat = filledMat();
    TObjBlock obj = filledObj();
    TStringGrid mg, og;
    qelcat::fillMaterialsGrid(mat, enUS, mg);
    qelcat::fillObjectsGrid(obj, enUS, og);
    for (int r = 1; r <= 20; ++r) {
        mg.setCell(0, r, text);
        mg.setCell(1, r, QStringLiteral("0"));
        mg.setCell(2, r, QStringLiteral("1"));
        og.setCell(0, r, text);
    }
    QVERIFY(!qelcat::applyMaterialsGrid(mat, mg).isValid());
    qelcat::applyObjectsGrid(obj, og);
    for (int i = 0; i < 20; ++i) {
        const QByteArray m(mat[size_t(i)].Name, 16);
        QCOMPARE(m.left(stored.size()), stored);
        QCOMPARE(m.mid(stored.size()), QByteArray(16 - stored.size(), '\xAA'));
        const QByteArray o(obj[size_t(i)].Name, 15);
        QCOMPARE(o.left(stored.size()), stored);
        QCOMPARE(o.mid(stored.size()), QByteArray(15 - stored.size(), '\xAA'));
    }
}

void TstCatalogues::fifteenByteNameShowsWholeAndIsCutOnWrite()
{
    TMatBlock mat{};
    TObjBlock obj{};
    std::memcpy(mat[3].Name, "ABCDEFGHIJKLMNO", 15); // byte 15 stays zero
    std::memcpy(obj[3].Name, "ABCDEFGHIJKLMNO", 15); // no zero byte in the field
    TStringGrid mg, og;
    qelcat::fillMaterialsGrid(mat, enUS, mg);
    qelcat::fillObjectsGrid(obj, enUS, og);
    QCOMPARE(mg.cell(0, 4), QStringLiteral("ABCDEFGHIJKLMNO"));
    QCOMPARE(og.cell(0, 4), QStringLiteral("ABCDEFGHIJKLMNO"));
    QVERIFY(!qelcat::applyMaterialsGrid(mat, mg).isValid());
    qelcat::applyObjectsGrid(obj, og);
    QCOMPARE(QByteArray(mat[3].Name, 16), QByteArray("ABCDEFGHIJKLMN\0\0", 16));
    QCOMPARE(QByteArray(obj[3].Name, 15), QByteArray("ABCDEFGHIJKLMN\0", 15));
}

void TstCatalogues::gridShowsCaptionsFixedRowsAndScientificCoefficients()
{
    const TMatBlock mat = matBlock(defaultMaterials(ruRU));
    TStringGrid g;
    g.setEditable(true);
    qelcat::fillMaterialsGrid(mat, ruRU, g);
    QCOMPARE(g.colCount(), 3);
    QCOMPARE(g.rowCountAll(), 21);
    QCOMPARE(g.fixedRows(), 2);
    QCOMPARE((QStringList{g.cell(0, 0), g.cell(1, 0), g.cell(2, 0)}),
             (QStringList{"Материал", "b0", "b1"}));
    QCOMPARE((QList<int>{g.colWidth(0), g.colWidth(1), g.colWidth(2)}), (QList<int>{260, 68, 68}));
    QCOMPARE(g.cell(0, 1), QStringLiteral("Бетон"));
    QCOMPARE(g.cell(1, 1), QStringLiteral("0.000E+00"));
    QCOMPARE(g.cell(2, 1), QStringLiteral("1.000E+00"));
    // Material 0 is shown, not edited; the others take edits.
    QVERIFY(!(g.flags(g.index(0, 0)) & Qt::ItemIsEditable));
    QVERIFY(g.flags(g.index(1, 2)) & Qt::ItemIsEditable);
    QVERIFY(!g.setData(g.index(0, 0), QStringLiteral("X"), Qt::EditRole));
    QVERIFY(g.setData(g.index(1, 0), QStringLiteral("X"), Qt::EditRole));
    QCOMPARE(g.cell(0, 2), QStringLiteral("X"));

    TStringGrid og;
    og.setEditable(true);
    qelcat::fillObjectsGrid(TObjBlock{}, enUS, og);
    QCOMPARE(og.cell(0, 0), QStringLiteral("Object"));
    QCOMPARE(og.colWidth(0), 260);
    QVERIFY(og.flags(og.index(0, 0)) & Qt::ItemIsEditable);
}

void TstCatalogues::restoreFactoryInBothLanguages_data()
{
    QTest::addColumn<TLang>("lang");
    QTest::addColumn<QStringList>("materials");
    QTest::addColumn<QStringList>("objects");
    QStringList mEn{"Concrete"}, mRu{"Бетон"};
    for (int i = 1; i < 20; ++i) {
        mEn << QStringLiteral("Material %1").arg(i);
        mRu << QStringLiteral("Материал %1").arg(i);
    }
    QStringList oEn{"Slab",  "Floor",     "Column",     "Pile",      "Beam",     "Truss",
                    "Block", "Wallboard", "Girth rail", "Base beam", "Diaphragm"};
    QStringList oRu{"Плита", "Перекрытие",  "Колонна", "Свая",        "Балка",    "Ферма",
                    "Блок",  "Стен.панель", "Ригель",  "Фунд. балка", "Диафрагма"};
    for (int i = 1; i <= 9; ++i) {
        oEn << QStringLiteral("Object %1").arg(i);
        oRu << QStringLiteral("Объект %1").arg(i);
    }
    QTest::newRow("English") << enUS << mEn << oEn;
    QTest::newRow("Russian") << ruRU << mRu << oRu;
}

void TstCatalogues::restoreFactoryInBothLanguages()
{
    QFETCH(TLang, lang);
    QFETCH(QStringList, materials);
    QFETCH(QStringList, objects);
    // Longer names before: each default ends at its own zero byte.
    TMatBlock mat = filledMat();
    TObjBlock obj = filledObj();
    qelcat::resetMaterials(mat, lang);
    qelcat::resetObjects(obj, lang);
    TStringGrid mg, og;
    qelcat::fillMaterialsGrid(mat, lang, mg);
    qelcat::fillObjectsGrid(obj, lang, og);
    QStringList shownM, shownO;
    for (int r = 1; r <= 20; ++r) {
        shownM << mg.cell(0, r);
        shownO << og.cell(0, r);
        QCOMPARE(mg.cell(1, r), QStringLiteral("0.000E+00"));
        QCOMPARE(mg.cell(2, r), QStringLiteral("1.000E+00"));
    }
    QCOMPARE(shownM, materials);
    QCOMPARE(shownO, objects);
    // Byte 15 of a material is never written.
    for (const TQelMaterial& m : mat)
        QCOMPARE(m.Name[15], '\xAA');
    // The stand-in's factory blocks are the same names.
    TMatBlock fresh{};
    TObjBlock freshObj{};
    qelcat::resetMaterials(fresh, lang);
    qelcat::resetObjects(freshObj, lang);
    QCOMPARE(bytesOf(fresh), defaultMaterials(lang));
    QCOMPARE(bytesOf(freshObj), defaultObjects(lang));
}

void TstCatalogues::untouchedCoefficientKeptBitForBitEditedOneParsed()
{
    TMatBlock mat{};
    mat[4].A[0] = -3.14159e-7f;
    mat[4].A[1] = 1.23456f;
    mat[5].A[1] = 1.23456f;
    mat[0].A[1] = 7.654321f; // the fixed row travels back as well
    TStringGrid g;
    qelcat::fillMaterialsGrid(mat, enUS, g);
    QCOMPARE(g.cell(2, 5), QStringLiteral("1.235E+00"));
    g.setCell(2, 6, QStringLiteral("1.23456"));
    g.setCell(1, 6, QStringLiteral("2.5e-3"));
    QVERIFY(!qelcat::applyMaterialsGrid(mat, g).isValid());
    QCOMPARE(bitsOf(mat[4].A[1]), bitsOf(1.23456f));
    QCOMPARE(bitsOf(mat[4].A[0]), bitsOf(-3.14159e-7f));
    QCOMPARE(bitsOf(mat[0].A[1]), bitsOf(7.654321f));
    QCOMPARE(bitsOf(mat[5].A[1]), bitsOf(1.23456f)); // parsed from the text typed
    QCOMPARE(mat[5].A[0], 2.5e-3f);
    // A cell typed with the shown text of its value is the value as it was.
    g.setCell(2, 5, QStringLiteral("1.235"));
    QVERIFY(!qelcat::applyMaterialsGrid(mat, g).isValid());
    QCOMPARE(mat[4].A[1], 1.235f);
}

void TstCatalogues::badCoefficientChangesNothing_data()
{
    QTest::addColumn<int>("col");
    QTest::addColumn<int>("row");
    QTest::addColumn<QString>("text");
    QTest::newRow("empty b0") << 1 << 3 << QString();
    QTest::newRow("word") << 2 << 20 << QStringLiteral("abc");
    QTest::newRow("beyond float32") << 1 << 7 << QStringLiteral("1e39");
    QTest::newRow("not a number") << 2 << 2 << QStringLiteral("nan");
    QTest::newRow("trailing text") << 1 << 9 << QStringLiteral("1.0x");
}

void TstCatalogues::badCoefficientChangesNothing()
{
    QFETCH(int, col);
    QFETCH(int, row);
    QFETCH(QString, text);
    TMatBlock mat = matBlock(defaultMaterials(enUS));
    const QByteArray before = bytesOf(mat);
    TStringGrid g;
    qelcat::fillMaterialsGrid(mat, enUS, g);
    g.setCell(0, 1, QStringLiteral("Renamed first")); // rows before the bad one
    g.setCell(0, row, QStringLiteral("Renamed"));
    g.setCell(1, 2, QStringLiteral("5"));
    g.setCell(col, row, text);
    const qelcat::TCell bad = qelcat::applyMaterialsGrid(mat, g);
    QCOMPARE(bad.col, col);
    QCOMPARE(bad.row, row);
    QCOMPARE(bytesOf(mat), before);
    QCOMPARE(qelcat::badMaterialCell(mat, g).row, row);
}

void TstCatalogues::deviceWritesWholeBlockAndInstrumentKeepsIt()
{
    TQelSim sim;
    sim.setLine(TQelSim::linePipe);
    QByteArray odd = defaultMaterials(ruRU);
    std::memset(odd.data() + 24 * 2, 'Z', 16); // a 16-byte name, no zero byte at all
    sim.setMaterials(odd);
    QVERIFY(sim.start());
    TQelBase dev;
    dev.SetLang(enUS);
    EventRecorder rec(dev);
    QVERIFY(testsupport::identify(dev, rec, sim.slavePath()));
    dev.ReadMaterials();
    QVERIFY(rec.waitFor(otMatRead));
    QCOMPARE(bytesOf(dev.MatCfg), odd);
    TStringGrid g;
    dev.UpdateMaterialsGrid(g);
    QCOMPARE(g.cell(0, 3), QString(15, u'Z'));
    g.setCell(0, 4, QStringLiteral("Пенобетон"));
    dev.ApplyMaterials(g);
    QVERIFY(rec.waitFor(otMatWrite));
    QCOMPARE(sim.materials(), bytesOf(dev.MatCfg));
    QCOMPARE(QByteArray(dev.MatCfg[2].Name, 16), QByteArray(14, 'Z') + '\0' + 'Z');

    dev.ResetObjects();
    TStringGrid og;
    dev.UpdateObjectsGrid(og);
    QCOMPARE(og.cell(0, 1), QStringLiteral("Slab"));
    dev.ApplyObjects(og);
    QVERIFY(rec.waitFor(otObjWrite));
    QCOMPARE(sim.objects(), defaultObjects(enUS));

    // Read back by another connection.
    TQelBase again;
    EventRecorder rec2(again);
    dev.Disconnect();
    QVERIFY(testsupport::identify(again, rec2, sim.slavePath()));
    again.ReadMaterials();
    QVERIFY(rec2.waitFor(otMatRead));
    again.ReadObjects();
    QVERIFY(rec2.waitFor(otObjRead));
    QCOMPARE(bytesOf(again.MatCfg), bytesOf(dev.MatCfg));
    QCOMPARE(bytesOf(again.ObjCfg), defaultObjects(enUS));
}

void TstCatalogues::badCellSendsNothing()
{
    TQelSim sim;
    sim.setLine(TQelSim::linePipe);
    QVERIFY(sim.start());
    TQelBase dev;
    EventRecorder rec(dev);
    QVERIFY(testsupport::identify(dev, rec, sim.slavePath()));
    dev.ReadMaterials();
    QVERIFY(rec.waitFor(otMatRead));
    const QByteArray before = bytesOf(dev.MatCfg);
    TStringGrid g;
    dev.UpdateMaterialsGrid(g);
    g.setCell(0, 2, QStringLiteral("Changed"));
    g.setCell(2, 5, QStringLiteral("x"));
    dev.ApplyMaterials(g);
    QCOMPARE(bytesOf(dev.MatCfg), before);
    // The next answer is the read's: no write went before it.
    rec.ops.clear();
    dev.ReadMaterials();
    QVERIFY(rec.waitFor(otMatRead));
    QCOMPARE(rec.ops, QList<TOperationType>{otMatRead});
    QCOMPARE(sim.requestCount(dcMatWrite), 0);
    QCOMPARE(sim.materials(), before);
}

void TstCatalogues::catalogueFileRoundTrip()
{
    TMatBlock mat = matBlock(defaultMaterials(ruRU));
    mat[1].A[0] = 1.23456f;
    mat[2].A[1] = -3.4e38f;
    mat[3].A[0] = 1e-45f; // the smallest subnormal
    qelcat::storeName(mat[4].Name, QStringLiteral("Пенобетон D500"));
    TObjBlock obj{};
    qelcat::resetObjects(obj, ruRU);

    TMatBlock readM = filledMat();
    TObjBlock readO = filledObj();
    QString error;
    QVERIFY2(qelcat::materialsFromJson(qelcat::materialsJson(mat), readM, &error),
             qPrintable(error));
    QVERIFY2(qelcat::objectsFromJson(qelcat::objectsJson(obj), readO, &error), qPrintable(error));
    for (int i = 0; i < 20; ++i) {
        QCOMPARE(qelfmt::decodeName(readM[size_t(i)].Name, 15),
                 qelfmt::decodeName(mat[size_t(i)].Name, 15));
        QCOMPARE(bitsOf(readM[size_t(i)].A[0]), bitsOf(mat[size_t(i)].A[0]));
        QCOMPARE(bitsOf(readM[size_t(i)].A[1]), bitsOf(mat[size_t(i)].A[1]));
        QCOMPARE(qelfmt::decodeName(readO[size_t(i)].Name, 15),
                 qelfmt::decodeName(obj[size_t(i)].Name, 15));
    }
    // Through a file written whole.
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("cat.json"));
    QVERIFY(qelcat::writeFileAtomic(path, qelcat::objectsJson(obj), &error));
    QFile f(path);
    QVERIFY(f.open(QIODevice::ReadOnly));
    QCOMPARE(f.readAll(), qelcat::objectsJson(obj));
}

void TstCatalogues::catalogueFileRefusals_data()
{
    QTest::addColumn<QByteArray>("json");
    auto nineteen = [] {
        QByteArray j = qelcat::materialsJson(TMatBlock{});
        const int cut = j.lastIndexOf("{");
        return j.left(j.lastIndexOf(",", cut)) + "]}";
    };
    QTest::newRow("not JSON") << QByteArray("materials: none");
    QTest::newRow("objects file") << qelcat::objectsJson(TObjBlock{});
    QTest::newRow("19 entries") << nineteen();
    QByteArray text = qelcat::materialsJson(TMatBlock{});
    text.replace("\"b1\": 0", "\"b1\": \"1\"");
    QTest::newRow("coefficient as text") << text;
    QByteArray huge = qelcat::materialsJson(TMatBlock{});
    huge.replace("\"b0\": 0", "\"b0\": 1e39");
    QTest::newRow("beyond float32") << huge;
}

void TstCatalogues::catalogueFileRefusals()
{
    QFETCH(QByteArray, json);
    TMatBlock mat = filledMat();
    QString error;
    QVERIFY(!qelcat::materialsFromJson(json, mat, &error));
    QVERIFY(!error.isEmpty());
    QCOMPARE(bytesOf(mat), bytesOf(filledMat()));
}

void TstCatalogues::backupsKeepTheNewestPerInstrumentAndCatalogue()
{
    QTemporaryDir dir;
    const QString folder = dir.filePath(QStringLiteral("Catalogues"));
    QString error;
    QStringList written;
    for (int i = 0; i < 23; ++i)
        written << qelcat::backupCatalogue(folder, 2053, QStringLiteral("materials"),
                                           QByteArray::number(i), &error);
    QVERIFY(
        !qelcat::backupCatalogue(folder, 2053, QStringLiteral("objects"), "o", &error).isEmpty());
    QVERIFY(
        !qelcat::backupCatalogue(folder, 7, QStringLiteral("materials"), "x", &error).isEmpty());
    const QStringList kept =
        QDir(folder).entryList({QStringLiteral("2053_materials_*.json")}, QDir::Files, QDir::Name);
    QCOMPARE(kept.size(), 20);
    for (int i = 0; i < 23; ++i)
        QCOMPARE(QFile::exists(written[i]), i >= 3);
    QCOMPARE(QDir(folder).entryList(QDir::Files).size(), 22);
}

QTEST_GUILESS_MAIN(TstCatalogues)
#include "tst_catalogues.moc"
