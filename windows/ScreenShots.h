// The instrument's screen, live: asked for five times a second while the window is open,
// drawn as it arrives, saved as numbered PNG files or copied to the clipboard.
#pragma once

#include "device/QelBase.h"
#include "i18n/Lang.h"

#include <QDialog>
#include <QElapsedTimer>
#include <QImage>
#include <QString>
#include <QTimer>
#include <memory>
#include <optional>

class QAction;
class QCheckBox;
class QLabel;
class QStatusBar;
class QToolBar;
class IPrompter;

// The number in a shot's file name: the text after the last "_" up to the next ".", as a
// signed decimal integer; 0 without "_"; none when that text is not such an integer.
std::optional<int> ShotNumber(const QString& Name);
// The next free numbered name in Folder: one past the greatest number of the entries named
// "ScreenShot_*" (files of any extension and folders), or "ScreenShot_0.png" without any.
QString NextShotFileName(const QString& Folder);
// The full path of the next save in ScreenShotFolder(), which is made if missing: numbered
// with `counter`, else always "ScreenShot_0.png". Empty, with the reason in *error, when
// the folder cannot be made.
QString MakeShotFileName(bool counter, QString* error = nullptr);
// What the status panel shows of a saved path: from the fifth separator counted from the
// end, in the platform's separators; the whole path when it has fewer.
QString ShotStatusTail(const QString& path);
// The whole factor by which the display fits into `area` (at least 1).
int ScreenScale(const QSize& area);

// When a refresh tick may ask for a screen: only when none is on its way, or the one on its
// way has been silent for kSilenceMs. A new request empties the buffer, and the rest of
// the old screen would then be appended to the new one.
class TScreenPacer
{
public:
    static constexpr qint64 kSilenceMs = 1000;
    bool mayRequest(qint64 nowMs) const { return !fOnItsWay || nowMs - fHeardAt >= kSilenceMs; }
    void requested(qint64 nowMs)
    {
        fOnItsWay = true;
        fHeardAt = nowMs;
    }
    // Bytes of the screen on its way came.
    void heard(qint64 nowMs) { fHeardAt = nowMs; }
    void arrived() { fOnItsWay = false; }
    bool onItsWay() const { return fOnItsWay; }

private:
    bool fOnItsWay = false;
    qint64 fHeardAt = 0;
};

class TScreenView;

class TScreenForm : public QDialog
{
    Q_OBJECT
public:
    // `prompter` shows the errors of Save; it stays the caller's.
    explicit TScreenForm(IPrompter* prompter, QWidget* parent = nullptr);
    ~TScreenForm() override;

    // Takes the device object's callback, refreshes, shows the window modally and returns
    // when it closes, with the callback put back.
    void Execute();
    // The same without the modal loop (tests drive the window from outside): the window is
    // open until closed, and closing puts the callback back.
    void Open();
    void ApplyLanguage(TLang Value);

    void ScreenCmdComplete(TOperationType CMD);
    void Timer1Timer();
    void ActionUpdExecute();
    void ActionPauseExecute();
    void ActionSaveExecute();
    void ActionCopyExecute();
    void ActionExitExecute();

    // For tests and the main window.
    bool isOpen() const { return fOwnsCallback; }
    bool isRefreshing() const { return Timer1.isActive(); }
    bool showsPauseImage() const { return fShowsPause; }
    bool hasScreen() const { return fHasScreen; }
    const QImage& picture() const { return fPicture; }
    QString statusText() const;
    QCheckBox* counterCheckBox() const { return CounterCheckBox; }
    int shownScale() const;
    TLang lang() const { return CurLang; }
    // A screen that completes now is the rest of one asked for before the window closed:
    // it must not open the window again. True once, soon after such a close.
    bool takeLateScreen();

signals:
    // A new screen is shown.
    void screenShown();

public slots:
    void done(int r) override;

protected:
    void showEvent(QShowEvent* event) override;

private:
    void begin();
    void finish();
    void setStatus(const QString& text);
    void setPauseImage(bool pause);

    IPrompter* fPrompter;
    TLang CurLang = ruRU;
    TCmdCompleteEvent fOldCmdCallback;
    std::weak_ptr<IQel> fDev; // the object whose callback the window holds
    bool fOwnsCallback = false;
    QMetaObject::Connection fHeard;
    TScreenPacer fPacer;
    QElapsedTimer fClock;
    QImage fPicture;
    bool fHasScreen = false;
    bool fShowsPause = true;
    qint64 fClosedComingAt = -1; // when the window closed with a screen on its way

    QTimer Timer1;
    TScreenView* Image1 = nullptr;
    QToolBar* sToolBar1 = nullptr;
    QCheckBox* CounterCheckBox = nullptr;
    QStatusBar* sStatusBar1 = nullptr;
    QAction* ActionExit = nullptr;
    QAction* ActionUpd = nullptr;
    QAction* ActionPause = nullptr;
    QAction* ActionSave = nullptr;
    QAction* ActionCopy = nullptr;
};
