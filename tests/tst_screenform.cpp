// The screen window: its file names, its refresh against the stand-in, and its place in
// the main window.
#include "FakePortSource.h"
#include "app/General.h"
#include "app/Prompter.h"
#include "device/Protocol.h"
#include "device/ScreenImage.h"
#include "i18n/Messages.h"
#include "sim/QelSim.h"
#include "windows/ScreenShots.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QDir>
#include <QFile>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

namespace {

class ErrorPrompter : public IPrompter
{
public:
    bool ask(QWidget*, const QString&, const QString&) override { return false; }
    TSaveChoice askSaveChanges(QWidget*, const QString&, const QString&) override
    {
        return TSaveChoice::Cancel;
    }
    TLang askLanguage(QWidget*) override { return enUS; }
    QStringList openFileNames(QWidget*, const QString&) override { return {}; }
    QString saveFileName(QWidget*, const QString&) override { return {}; }
    void error(QWidget*, const QString&, const QString& text) override { errors.append(text); }
    QStringList errors;
};

class ConfigDir
{
public:
    ConfigDir() { qputenv("QEL_CONFIG_DIR", dir.path().toLocal8Bit()); }
    ~ConfigDir() { qunsetenv("QEL_CONFIG_DIR"); }
    QString shots() const { return dir.filePath(QStringLiteral("ScreenShots")); }
    QTemporaryDir dir;
};

int codeCount(const TQelSim& sim, int code)
{
    int n = 0;
    for (const QByteArray& r : sim.requests())
        n += uint8_t(r[3]) == code;
    return n;
}

// Pixels the runs in the device's buffer add up to.
int pixelsHeld(const TQelBase& dev)
{
    int n = 0;
    for (int i = 0; i < dev.screenEntries(); ++i)
        n += qelproto::le16(dev.screenBuffer() + 4 * i + 2);
    return n;
}

// A device object connected to the stand-in, as the workspace in use, with a callback of
// its owner that records what reaches it.
struct Rig
{
    Rig()
    {
        sim.setLine(TQelSim::linePipe);
        started = sim.start();
        dev = NewQelBase();
        ActiveDevice = dev;
        dev->SetComCallback([this](TOperationType op) { ownerEvents.append(op); });
        connected = dev->Connect(sim.slavePath()) &&
                    QTest::qWaitFor([&] { return ownerEvents.contains(otDevConnect); }, 5000);
        ownerEvents.clear();
    }
    ~Rig()
    {
        form.reject();
        ActiveDevice.reset();
    }
    // The owner's callback is the one installed.
    bool ownerHoldsCallback()
    {
        const int before = int(ownerEvents.size());
        if (TCmdCompleteEvent cb = dev->GetComCallback())
            cb(otResultDelete);
        return ownerEvents.size() == before + 1 && ownerEvents.last() == otResultDelete;
    }
    bool waitScreens(int n)
    {
        int shown = 0;
        const auto c = QObject::connect(&form, &TScreenForm::screenShown, [&] { ++shown; });
        const bool ok = QTest::qWaitFor([&] { return shown >= n; }, 10000);
        QObject::disconnect(c);
        return ok;
    }

    ConfigDir cfg;
    TQelSim sim;
    bool started = false;
    bool connected = false;
    std::shared_ptr<TQelBase> dev;
    QList<TOperationType> ownerEvents;
    ErrorPrompter prompter;
    TScreenForm form{&prompter};
};

} // namespace

class TstScreenForm : public QObject
{
    Q_OBJECT
private slots:
    void nextShotNameCountsPastTheGreatest_data();
    void nextShotNameCountsPastTheGreatest();
    void statusShowsTheTailOfThePath_data();
    void statusShowsTheTailOfThePath();
    void pacerAsksOnlyWhenNoScreenIsComing();
    void scaleIsTheWholeFactorThatFits();

    void refreshShowsEachNewScreenAndExitPutsTheCallbackBack();
    void otherEventClosesTheWindowAndStaysThere();
    void pauseStopsRequestsButDrawsTheScreenOnItsWay();
    void reopenedAfterPauseRefreshes();
    void saveWritesNumberedPictures();
    void saveAndCopyBeforeTheFirstScreen_data();
    void saveAndCopyBeforeTheFirstScreen();
    void saveIntoAnUnmakeableFolderShowsTheError();
    void copyPutsThePictureOnTheClipboard_data();
    void copyPutsThePictureOnTheClipboard();
    void slowLineGetsWholeScreens();

    void mainWindowOpensItAndGetsItsCallbackBackOnUnplug();
    void screenOnItsWayAtCloseDoesNotReopenIt();
};

void TstScreenForm::nextShotNameCountsPastTheGreatest_data()
{
    QTest::addColumn<QStringList>("files");
    QTest::addColumn<QStringList>("folders");
    QTest::addColumn<QString>("next");
    const QStringList none;
    QTest::newRow("empty folder") << none << none << "ScreenShot_0.png";
    QTest::newRow("gaps are not filled")
        << QStringList{"ScreenShot_0.png", "ScreenShot_7.png"} << none << "ScreenShot_8.png";
    QTest::newRow("other extensions count")
        << QStringList{"ScreenShot_9.bmp"} << none << "ScreenShot_10.png";
    QTest::newRow("last underscore")
        << QStringList{"ScreenShot_a_4.png"} << none << "ScreenShot_5.png";
    QTest::newRow("folders count") << none << QStringList{"ScreenShot_12"} << "ScreenShot_13.png";
    QTest::newRow("names without a number are ignored")
        << QStringList{"ScreenShot_2.png",          "ScreenShot_x.png",  "ScreenShot_",
                       "ScreenShot_3a.png",         "ScreenShot_ 5.png", "ScreenShot_0x10.png",
                       "ScreenShot_99999999999.png"}
        << QStringList{"ScreenShot_old"} << "ScreenShot_3.png";
    QTest::newRow("only names without a number")
        << QStringList{"ScreenShot_x.png"} << none << "ScreenShot_0.png";
    QTest::newRow("other names do not count")
        << QStringList{"Shot_40.png", "XScreenShot_60.png"} << none << "ScreenShot_0.png";
    QTest::newRow("the wildcard ignores case")
        << QStringList{"screenshot_50.png"} << none << "ScreenShot_51.png";
    QTest::newRow("negative numbers")
        << QStringList{"ScreenShot_-5.png"} << none << "ScreenShot_0.png";
    QTest::newRow("the greatest number")
        << QStringList{"ScreenShot_2147483647.png"} << none << "ScreenShot_2147483648.png";
}

void TstScreenForm::nextShotNameCountsPastTheGreatest()
{
    QFETCH(QStringList, files);
    QFETCH(QStringList, folders);
    QFETCH(QString, next);
    QTemporaryDir dir;
    for (const QString& f : files) {
        QFile file(dir.filePath(f));
        QVERIFY(file.open(QIODevice::WriteOnly));
    }
    for (const QString& f : folders)
        QVERIFY(QDir(dir.path()).mkdir(f));
    QCOMPARE(NextShotFileName(dir.path()), next);
}

void TstScreenForm::statusShowsTheTailOfThePath_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("tail");
    const QString s = QDir::separator();
    QTest::newRow("usual folder") << "/home/ann/Documents/Prandel/QEL/ScreenShots/ScreenShot_3.png"
                                  << s + "Documents" + s + "Prandel" + s + "QEL" + s +
                                         "ScreenShots" + s + "ScreenShot_3.png";
    QTest::newRow("five separators")
        << "/a/b/c/d/e.png" << s + "a" + s + "b" + s + "c" + s + "d" + s + "e.png";
    QTest::newRow("four separators") << "a/b/c/d/e.png"
                                     << "a" + s + "b" + s + "c" + s + "d" + s + "e.png";
}

void TstScreenForm::statusShowsTheTailOfThePath()
{
    QFETCH(QString, path);
    QFETCH(QString, tail);
    QCOMPARE(ShotStatusTail(path), tail);
}

void TstScreenForm::pacerAsksOnlyWhenNoScreenIsComing()
{
    TScreenPacer p;
    QVERIFY(p.mayRequest(0));
    p.requested(0);
    QVERIFY(!p.mayRequest(200));
    p.heard(900); // still coming
    QVERIFY(!p.mayRequest(1800));
    QVERIFY(p.mayRequest(1900)); // silent for a second: lost
    p.requested(1900);
    p.arrived();
    QVERIFY(p.mayRequest(1901)); // fast screens: every tick asks
}

void TstScreenForm::scaleIsTheWholeFactorThatFits()
{
    QCOMPARE(ScreenScale(QSize(441, 230)), 1);
    QCOMPARE(ScreenScale(QSize(300, 330)), 2);
    QCOMPARE(ScreenScale(QSize(800, 481)), 3);
    QCOMPARE(ScreenScale(QSize(100, 100)), 1);
}

void TstScreenForm::refreshShowsEachNewScreenAndExitPutsTheCallbackBack()
{
    Rig r;
    QVERIFY(r.started && r.connected);
    r.form.Open();
    QVERIFY(r.form.isRefreshing());
    QVERIFY(r.form.showsPauseImage());
    QVERIFY(r.waitScreens(1));
    const QImage first = r.form.picture();
    QCOMPARE(first.size(), QSize(128, 160));
    // The stand-in's clock and marker move: a later screen differs.
    QVERIFY(QTest::qWaitFor([&] { return r.waitScreens(1) && r.form.picture() != first; }, 10000));
    QCOMPARE(r.form.picture(),
             qelscreen::screenImage(r.dev->screenBuffer(), r.dev->screenEntries()));
    QVERIFY(r.ownerEvents.isEmpty()); // the screens went to the window only
    r.form.findChild<QAction*>(QStringLiteral("ActionExit"))->trigger();
    QVERIFY(!r.form.isVisible());
    QVERIFY(!r.form.isOpen());
    QVERIFY(!r.form.isRefreshing());
    QVERIFY(r.ownerHoldsCallback());
}

void TstScreenForm::otherEventClosesTheWindowAndStaysThere()
{
    for (const TOperationType op : {otMeasIsGoing, otDevDisconnected}) {
        Rig r;
        QVERIFY(r.started && r.connected);
        r.form.Open();
        r.dev->GetComCallback()(op);
        QVERIFY(!r.form.isVisible());
        QVERIFY(!r.form.isRefreshing());
        // Only a closed port is passed on, so that the owner learns the instrument is gone.
        QCOMPARE(r.ownerEvents,
                 op == otDevDisconnected ? QList<TOperationType>{op} : QList<TOperationType>{});
        QVERIFY(r.ownerHoldsCallback());
    }
}

void TstScreenForm::pauseStopsRequestsButDrawsTheScreenOnItsWay()
{
    Rig r;
    QVERIFY(r.started && r.connected);
    r.sim.setReplyDelayMs(800);
    r.form.Open();
    // The first tick's request reaches the instrument; its answer is still to come.
    QVERIFY(QTest::qWaitFor([&] { return codeCount(r.sim, dcScreenShot) == 1; }, 5000));
    QVERIFY(!r.form.hasScreen());
    r.form.findChild<QAction*>(QStringLiteral("ActionPause"))->trigger();
    QVERIFY(!r.form.isRefreshing());
    QVERIFY(!r.form.showsPauseImage());
    QVERIFY(r.waitScreens(1));
    QTest::qWait(600); // three ticks' time: none asks
    QCOMPARE(codeCount(r.sim, dcScreenShot), 1);
    r.form.findChild<QAction*>(QStringLiteral("ActionPause"))->trigger();
    QVERIFY(r.form.isRefreshing());
    QVERIFY(r.form.showsPauseImage());
    QVERIFY(r.waitScreens(1));
}

void TstScreenForm::reopenedAfterPauseRefreshes()
{
    Rig r;
    QVERIFY(r.started && r.connected);
    r.form.Open();
    r.form.ActionPauseExecute();
    r.form.close(); // the title bar's way
    QVERIFY(!r.form.isOpen());
    QVERIFY(r.ownerHoldsCallback());
    r.form.Open();
    QVERIFY(r.form.isRefreshing());
    QVERIFY(r.form.showsPauseImage());
    QVERIFY(r.waitScreens(1));
}

void TstScreenForm::saveWritesNumberedPictures()
{
    Rig r;
    QVERIFY(r.started && r.connected);
    r.form.ApplyLanguage(enUS);
    r.form.Open();
    QVERIFY(r.waitScreens(1));
    r.form.ActionPauseExecute(); // the picture stays what was saved
    const QString sep = QDir::separator();
    const QString tail = sep + QFileInfo(r.cfg.dir.path()).fileName() + sep + "ScreenShots" + sep;
    const QStringList expected{"ScreenShot_0.png", "ScreenShot_1.png", "ScreenShot_2.png"};
    for (const QString& name : expected) {
        r.form.ActionSaveExecute();
        QVERIFY2(r.form.statusText().endsWith(name), qPrintable(r.form.statusText()));
    }
    QCOMPARE(QDir(r.cfg.shots()).entryList(QDir::Files), expected);
    // Without the counter every save writes over the first name.
    r.form.counterCheckBox()->setChecked(false);
    QFile::remove(QDir(r.cfg.shots()).filePath("ScreenShot_0.png"));
    r.form.ActionSaveExecute();
    r.form.ActionSaveExecute();
    QCOMPARE(QDir(r.cfg.shots()).entryList(QDir::Files), expected);
    QVERIFY(r.form.statusText().endsWith(sep + "ScreenShot_0.png"));
    QImage saved(QDir(r.cfg.shots()).filePath("ScreenShot_0.png"));
    QCOMPARE(saved.size(), QSize(128, 160)); // the picture at its own size
    QCOMPARE(saved.convertToFormat(QImage::Format_RGB32), r.form.picture());
    QVERIFY(r.prompter.errors.isEmpty());
}

void TstScreenForm::saveAndCopyBeforeTheFirstScreen_data()
{
    QTest::addColumn<int>("lang");
    QTest::addColumn<QString>("text");
    QTest::newRow("en") << int(enUS) << "No screen yet";
    QTest::newRow("ru") << int(ruRU) << "Снимка ещё нет";
}

void TstScreenForm::saveAndCopyBeforeTheFirstScreen()
{
    QFETCH(int, lang);
    QFETCH(QString, text);
    ConfigDir cfg;
    ErrorPrompter prompter;
    TScreenForm form(&prompter); // no device object: nothing ever arrives
    form.ApplyLanguage(TLang(lang));
    QGuiApplication::clipboard()->setText(QStringLiteral("kept"));
    form.ActionSaveExecute();
    QCOMPARE(form.statusText(), text);
    form.ActionCopyExecute();
    QCOMPARE(form.statusText(), text);
    QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("kept"));
    QVERIFY(!QFileInfo::exists(cfg.shots() + "/ScreenShot_0.png"));
}

void TstScreenForm::saveIntoAnUnmakeableFolderShowsTheError()
{
    Rig r;
    QVERIFY(r.started && r.connected);
    r.form.Open();
    QVERIFY(r.waitScreens(1));
    QFile blocker(r.cfg.shots());
    QVERIFY(blocker.open(QIODevice::WriteOnly)); // a file where the folder should be
    blocker.close();
    r.form.ActionCopyExecute();
    const QString before = r.form.statusText();
    r.form.ActionSaveExecute();
    QCOMPARE(r.prompter.errors.size(), 1);
    QCOMPARE(r.form.statusText(), before);
}

void TstScreenForm::copyPutsThePictureOnTheClipboard_data()
{
    QTest::addColumn<int>("lang");
    QTest::addColumn<QString>("text");
    QTest::newRow("en") << int(enUS) << "Screenshot copied.";
    QTest::newRow("ru") << int(ruRU) << "Скриншот скопирован.";
}

void TstScreenForm::copyPutsThePictureOnTheClipboard()
{
    QFETCH(int, lang);
    QFETCH(QString, text);
    Rig r;
    QVERIFY(r.started && r.connected);
    r.form.ApplyLanguage(TLang(lang));
    r.form.Open();
    QVERIFY(r.waitScreens(1));
    r.form.ActionPauseExecute();
    r.form.ActionCopyExecute();
    QCOMPARE(r.form.statusText(), text);
    QCOMPARE(QGuiApplication::clipboard()->image().convertToFormat(QImage::Format_RGB32),
             r.form.picture());
}

void TstScreenForm::slowLineGetsWholeScreens()
{
    Rig r;
    QVERIFY(r.started && r.connected);
    // A line on which one screen takes about 0.6 s, three refresh ticks.
    const QByteArray entries = r.sim.screen().screenEntries();
    const qsizetype bytes = entries.size() + 8 * (entries.size() / 4 / 248 + 1);
    r.sim.setBaud(int(bytes * 10 / 0.6));
    int shown = 0;
    bool whole = true;
    connect(&r.form, &TScreenForm::screenShown, &r.form, [&] {
        ++shown;
        whole = whole && pixelsHeld(*r.dev) == qelscreen::kPixels;
    });
    r.form.Open();
    QVERIFY(QTest::qWaitFor([&] { return shown >= 3; }, 20000));
    QVERIFY(whole);
    // One request per screen, and at most one on its way.
    QVERIFY(codeCount(r.sim, dcScreenShot) <= shown + 1);
}

namespace {

// The main window connected to a stand-in, after its first download.
struct MainRig
{
    MainRig()
    {
        {
            QSettings s(cfg.dir.filePath(QStringLiteral("QEL.ini")), QSettings::IniFormat);
            s.setValue(QStringLiteral("Settings/Language"), int(enUS));
            s.setValue(QStringLiteral("Settings/AutoClock"), 0);
        }
        sim.setLine(TQelSim::linePipe);
        started = sim.start();
        TPortInfo p;
        p.Port = sim.slavePath();
        p.Forced = true;
        ports.plug(p);
        form = std::make_unique<TMainForm>(&ports, &prompter);
        form->show();
        ready = QTest::qWaitFor(
            [&] {
                return !form->workspace().isReading() &&
                       form->workspace().connectedPort() == sim.slavePath() &&
                       form->resultViewsShown();
            },
            10000);
    }
    ConfigDir cfg;
    TQelSim sim;
    bool started = false;
    bool ready = false;
    TFakePortSource ports;
    ErrorPrompter prompter;
    std::unique_ptr<TMainForm> form;
};

} // namespace

void TstScreenForm::mainWindowOpensItAndGetsItsCallbackBackOnUnplug()
{
    MainRig m;
    QVERIFY(m.started && m.ready);
    TMainForm& form = *m.form;
    TQelSim& sim = m.sim;
    TFakePortSource& ports = m.ports;
    TScreenForm* screen = form.screenForm();
    bool sawScreen = false;
    bool wasModal = false;
    TLang shownLang = ruRU;
    QTimer::singleShot(0, screen, [&] {
        wasModal = QApplication::activeModalWidget() == screen;
        shownLang = screen->lang();
        sawScreen = QTest::qWaitFor([&] { return screen->hasScreen(); }, 10000);
        ports.unplug(sim.slavePath());
        sim.unplug();
        // Should the window stay open, the test fails rather than hangs.
        if (!QTest::qWaitFor([&] { return !screen->isOpen(); }, 10000))
            screen->reject();
    });
    form.findChild<QAction*>(QStringLiteral("ActionScreenshot"))->trigger();
    QVERIFY(wasModal);
    QCOMPARE(shownLang, enUS);
    QVERIFY(sawScreen);
    QVERIFY(!screen->isVisible());
    // The main window's handler is back: an event reaches its status line.
    QVERIFY(ActiveDevice);
    ActiveDevice->GetComCallback()(otMeasIsGoing);
    QCOMPARE(form.statusText(0), Msg(msgMeasIsGoing, enUS));
}

void TstScreenForm::screenOnItsWayAtCloseDoesNotReopenIt()
{
    MainRig m;
    QVERIFY(m.started && m.ready);
    m.sim.setReplyDelayMs(300);
    TScreenForm* screen = m.form->screenForm();
    bool askedBeforeClose = false;
    QTimer::singleShot(0, screen, [&] {
        // Closed while the instrument is about to answer a request.
        if (QTest::qWaitFor([&] { return screen->hasScreen(); }, 10000)) {
            const int asked = codeCount(m.sim, dcScreenShot);
            askedBeforeClose =
                QTest::qWaitFor([&] { return codeCount(m.sim, dcScreenShot) > asked; }, 10000);
        }
        screen->reject();
    });
    m.form->findChild<QAction*>(QStringLiteral("ActionScreenshot"))->trigger();
    QVERIFY(askedBeforeClose);
    QVERIFY(!screen->isOpen());
    // Any window that opens is counted and closed, so that the test goes on.
    int opened = 0;
    QTimer closer;
    connect(&closer, &QTimer::timeout, screen, [&] {
        if (screen->isOpen()) {
            ++opened;
            screen->reject();
        }
    });
    closer.start(20);
    QList<TOperationType> late;
    connect(&m.form->workspace(), &TWorkspace::completed, screen,
            [&](TOperationType op) { late.append(op); });
    QVERIFY(QTest::qWaitFor([&] { return !late.isEmpty(); }, 5000));
    QCOMPARE(late.first(), otScreenReady);
    QCOMPARE(opened, 0);
    // A screen that nobody asked for opens the window.
    ActiveDevice->GetComCallback()(otScreenReady);
    QCOMPARE(opened, 1);
}

QTEST_MAIN(TstScreenForm)
#include "tst_screenform.moc"
