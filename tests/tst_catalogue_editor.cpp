// What the editor windows decide, against the stand-in: the write question on closing, Exit,
// Restore factory, a bad cell, the backup of the catalogue as read and the catalogue file.
#include "TestSupport.h"
#include "app/CatalogueEditor.h"
#include "sim/QelSim.h"
#include "sim/SimArchive.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>
#include <cstring>

using testsupport::EventRecorder;

namespace {

// An instrument whose material 3 holds b1 = 1.23456 and object 2 a long name, read by a
// device object as the editor's command does.
struct Rig
{
    Rig()
    {
        mats = defaultMaterials(enUS);
        const float b1 = 1.23456f;
        std::memcpy(mats.data() + 24 * 3 + 20, &b1, 4);
        sim.setMaterials(mats);
        sim.setLine(TQelSim::linePipe);
        started = sim.start();
        dev = std::make_shared<TQelBase>();
        dev->SetLang(enUS);
        rec = std::make_unique<EventRecorder>(*dev);
    }
    bool read(TCatalogueEditor& ed)
    {
        if (!started || !testsupport::identify(*dev, *rec, sim.slavePath()))
            return false;
        dev->ReadMaterials();
        dev->ReadObjects();
        if (!rec->waitFor(otMatRead) || !rec->waitFor(otObjRead))
            return false;
        ed.setBackupFolder(backups.filePath(QStringLiteral("Catalogues")));
        ed.begin(dev);
        return true;
    }
    // Waits for the answer to a read sent now: any write sent before it is answered first.
    QList<TOperationType> answersUpToRead()
    {
        rec->ops.clear();
        dev->ReadMaterials();
        rec->waitFor(otMatRead);
        return rec->ops;
    }
    QStringList backupFiles() const
    {
        return QDir(backups.filePath(QStringLiteral("Catalogues"))).entryList(QDir::Files);
    }
    QByteArray mats;
    TQelSim sim;
    bool started = false;
    std::shared_ptr<TQelBase> dev;
    std::unique_ptr<EventRecorder> rec;
    QTemporaryDir backups;
};

} // namespace

class TstCatalogueEditor : public QObject
{
    Q_OBJECT
private slots:
    void closingAsksOnlyAfterKeys_data();
    void closingAsksOnlyAfterKeys();
    void saveKeepsUntouchedValueAndBacksUpWhatWasRead();
    void badCellKeepsWindowOpenAndChangesNothing_data();
    void badCellKeepsWindowOpenAndChangesNothing();
    void fileLoadedIsWrittenOnlyBySave();
};

void TstCatalogueEditor::closingAsksOnlyAfterKeys_data()
{
    QTest::addColumn<bool>("arrowKeys");
    QTest::addColumn<bool>("restore");
    QTest::addColumn<bool>("useExit");
    QTest::addColumn<bool>("answer");
    QTest::addColumn<bool>("asked");
    QTest::addColumn<bool>("written");
    QTest::newRow("nothing pressed") << false << false << false << true << false << false;
    QTest::newRow("arrow keys, then No") << true << false << false << false << true << false;
    QTest::newRow("arrow keys, then Yes") << true << false << false << true << true << true;
    QTest::newRow("Exit after Restore factory") << false << true << true << true << false << false;
    QTest::newRow("close box after Restore factory")
        << false << true << false << true << true << true;
}

void TstCatalogueEditor::closingAsksOnlyAfterKeys()
{
    QFETCH(bool, arrowKeys);
    QFETCH(bool, restore);
    QFETCH(bool, useExit);
    QFETCH(bool, answer);
    QFETCH(bool, asked);
    QFETCH(bool, written);
    Rig r;
    TCatalogueEditor ed(TCatalogueEditor::ckMaterials);
    QVERIFY(r.read(ed));
    QVERIFY(!ed.isChanged);
    if (arrowKeys)
        ed.keyPressed();
    if (restore)
        ed.restoreFactory();
    int questions = 0;
    if (useExit)
        ed.cancel();
    QVERIFY(ed.mayClose([&] {
        ++questions;
        return answer;
    }));
    QCOMPARE(questions, asked ? 1 : 0);
    QCOMPARE(ed.ExecResult, written);
    const QList<TOperationType> answers = r.answersUpToRead();
    QCOMPARE(answers.contains(otMatWrite), written);
    QCOMPARE(r.sim.requestCount(dcMatWrite), written ? 1 : 0);
    QCOMPARE(r.backupFiles().size(), written ? 1 : 0);
}

void TstCatalogueEditor::saveKeepsUntouchedValueAndBacksUpWhatWasRead()
{
    Rig r;
    TCatalogueEditor ed(TCatalogueEditor::ckMaterials);
    QVERIFY(r.read(ed));
    QCOMPARE(ed.grid().cell(2, 4), QStringLiteral("1.235E+00"));
    ed.grid().setCell(0, 5, QStringLiteral("Foam concrete"));
    ed.restoreFactory(); // the defaults replace the edit...
    ed.grid().setCell(0, 6, QStringLiteral("Gypsum"));
    ed.grid().setCell(2, 6, QStringLiteral("2.5"));
    QVERIFY(ed.save());
    QVERIFY(r.rec->waitFor(otMatWrite));
    QByteArray expected = defaultMaterials(enUS);
    std::memcpy(expected.data() + 24 * 5, "Gypsum\0", 7);
    const float v = 2.5f;
    std::memcpy(expected.data() + 24 * 5 + 20, &v, 4);
    QCOMPARE(r.sim.materials(), expected);
    // ...and the backup is the catalogue as it was read, 1.23456 included.
    QCOMPARE(r.backupFiles().size(), 1);
    QVERIFY(r.backupFiles().first().startsWith(QStringLiteral("2053_materials_")));
    QFile f(ed.lastBackup());
    QVERIFY(f.open(QIODevice::ReadOnly));
    TMatBlock back{};
    QVERIFY(qelcat::materialsFromJson(f.readAll(), back, nullptr));
    QCOMPARE(QByteArray(reinterpret_cast<const char*>(back.data()), kMatCfgSize), r.mats);

    // Untouched, the value goes back exactly.
    TCatalogueEditor again(TCatalogueEditor::ckMaterials);
    r.sim.setMaterials(r.mats);
    QVERIFY(r.read(again));
    again.grid().setCell(0, 2, QStringLiteral("Renamed"));
    QVERIFY(again.save());
    QVERIFY(r.rec->waitFor(otMatWrite));
    QCOMPARE(r.sim.materials().mid(24 * 3 + 20, 4), r.mats.mid(24 * 3 + 20, 4));
}

void TstCatalogueEditor::badCellKeepsWindowOpenAndChangesNothing_data()
{
    QTest::addColumn<bool>("throughQuestion");
    QTest::newRow("Write to device") << false;
    QTest::newRow("Yes to the close question") << true;
}

void TstCatalogueEditor::badCellKeepsWindowOpenAndChangesNothing()
{
    QFETCH(bool, throughQuestion);
    Rig r;
    TCatalogueEditor ed(TCatalogueEditor::ckMaterials);
    QVERIFY(r.read(ed));
    const QByteArray before(reinterpret_cast<const char*>(r.dev->MatCfg.data()), kMatCfgSize);
    ed.grid().setCell(0, 2, QStringLiteral("Renamed"));
    ed.grid().setCell(1, 8, QStringLiteral("1,2,3"));
    ed.keyPressed();
    if (throughQuestion)
        QVERIFY(!ed.mayClose([] { return true; }));
    else
        QVERIFY(!ed.save());
    QCOMPARE(ed.badCell().col, 1);
    QCOMPARE(ed.badCell().row, 8);
    QVERIFY(ed.isChanged);
    QVERIFY(!ed.ExecResult);
    QCOMPARE(QByteArray(reinterpret_cast<const char*>(r.dev->MatCfg.data()), kMatCfgSize), before);
    QCOMPARE(r.answersUpToRead(), QList<TOperationType>{otMatRead});
    QCOMPARE(r.sim.requestCount(dcMatWrite), 0);
    QVERIFY(r.backupFiles().isEmpty());
}

void TstCatalogueEditor::fileLoadedIsWrittenOnlyBySave()
{
    Rig r;
    TCatalogueEditor ed(TCatalogueEditor::ckObjects);
    QVERIFY(r.read(ed));
    ed.grid().setCell(0, 1, QStringLiteral("Bridge"));
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("objects.json"));
    QString error;
    QVERIFY2(ed.saveToFile(path, &error), qPrintable(error));
    QVERIFY(!ed.isChanged); // nothing pressed: saving a file is no change of the grid
    // Another instrument takes the file.
    Rig other;
    TCatalogueEditor ed2(TCatalogueEditor::ckObjects);
    QVERIFY(other.read(ed2));
    QVERIFY2(ed2.loadFromFile(path, &error), qPrintable(error));
    QCOMPARE(ed2.grid().cell(0, 1), QStringLiteral("Bridge"));
    QVERIFY(ed2.isChanged);
    QCOMPARE(other.sim.requestCount(dcObjWrite), 0);
    QVERIFY(ed2.save());
    QVERIFY(other.rec->waitFor(otObjWrite));
    QCOMPARE(other.sim.objects().left(7), QByteArray("Bridge\0", 7));
    // A file that is not a catalogue changes nothing.
    QVERIFY(!ed2.loadFromFile(dir.filePath(QStringLiteral("missing.json")), &error));
    QVERIFY(!error.isEmpty());
    QCOMPARE(ed2.grid().cell(0, 1), QStringLiteral("Bridge"));
}

QTEST_GUILESS_MAIN(TstCatalogueEditor)
#include "tst_catalogue_editor.moc"
