// The current workspace: which device object holds the results, whether they are merged,
// the port it is connected to, and what happens when the instrument answers. Windows and
// the command line show its outcome; it never touches a widget.
#pragma once

#include "data/Merge.h"
#include "data/QelTypes.h"
#include "device/QelBase.h"
#include "i18n/Messages.h"

#include <QObject>
#include <QString>
#include <functional>

class TWorkspace : public QObject
{
    Q_OBJECT
public:
    enum TQuestion
    {
        qMergeResults,     // BeginWorkspace with a workspace in use
        qDeleteFromDevice, // a deletion that reaches the instrument
    };
    // Answers a Yes/No question shown as `text`; true for Yes.
    using TAsk = std::function<bool(TQuestion question, const QString& text)>;

    explicit TWorkspace(QObject* parent = nullptr);
    // Releases the device object in use; none of its events reaches anyone afterwards.
    ~TWorkspace() override;

    // Without an answerer every question is answered No.
    void setAsk(TAsk ask) { fAsk = std::move(ask); }
    // Asked before a workspace holding changes not in a file is replaced; false keeps it
    // and stops the command. Without one the workspace is replaced.
    using TMayDiscard = std::function<bool()>;
    void setMayDiscard(TMayDiscard mayDiscard) { fMayDiscard = std::move(mayDiscard); }
    // The language of the texts and of new device objects.
    void setLang(TLang lang);
    TLang lang() const { return fLang; }
    // Applies to the device object in use and to the next ones.
    void setDimension(EPressureUnits dim);
    // The clock is set after each connection (the menu's "Automatic clock setting").
    void setAutoClock(bool on) { fAutoClock = on; }
    // The archive is read after each connection (and after the clock write, if any).
    void setReadOnConnect(bool on) { fReadOnConnect = on; }
    // The silence after which a due answer counts as lost, for the device objects made
    // from now on (kNoAnswerMs).
    void setNoAnswerTimeout(int ms) { fNoAnswerMs = ms; }

    // ActiveDevice as its class; null while there is none.
    TQelBase* device() const;
    bool isLoadTypeFile() const { return fLoadTypeFile; }
    bool readAfterClockWrite() const { return isReadAfterClockWrite; }
    bool isReading() const { return fReading; }
    // The port the workspace was connected to; empty when it is not (any more).
    QString connectedPort() const { return fConnectedPort; }
    // The last texts shown in status panels 0 and 1.
    QString statusText() const { return fStatus; }
    QString status1Text() const { return fStatus1; }

    // The results held differ from those of the last file opened into a new workspace or
    // saved: downloaded, merged, commented or deleted since.
    bool isModified() const;
    // The results held are now those of a file.
    void markSaved();
    // The last command stopped because the user kept the workspace with its changes.
    bool wasCancelled() const { return fCancelled; }
    // Why the last openFile failed; empty when the file was refused or kept by the user.
    QString lastError() const { return fLastError; }

    // False when the user kept a workspace with changes (wasCancelled()).
    bool BeginWorkspace(int Model);
    bool NewWorkspace(int Model);
    // The connection step of choosing an instrument: a workspace, the views hidden, the
    // port opened. False, with the port-busy text, when the port cannot be opened.
    // False as well when the user kept the workspace in use.
    bool connectTo(const QString& port, int model);
    // Read from device. A read that runs already goes on alone.
    void readArchive();
    void synchronizeClock();
    // Delete results: Count results from Start. A deletion that reaches the instrument
    // cannot be undone and asks first; false when nothing was deleted.
    bool removeResults(int Start, int Count);
    // Opens an archive file into the workspace (merging when the answer says so, or
    // always with `mergeWithoutAsking`) and removes the duplicates. The file is read
    // before anything is replaced: when it cannot be read (lastError()) or the user keeps
    // the workspace, the results held, the connection and the views stay as they were.
    bool openFile(const QString& FileName, bool mergeWithoutAsking = false);
    // The counts of the last file opened.
    TArchDupStat openedStat() const { return fOpenedStat; }
    // Close: the workspace and its connection end; the views wait.
    void closeWorkspace();
    // The instrument in use has gone: its results stay, nothing more comes from it.
    void instrumentGone();

    // The completion handler installed into every new device object.
    void CmdComplete(TOperationType Op);

signals:
    void statusChanged(const QString& text);  // status panel 0
    void status1Changed(const QString& text); // status panel 1
    // Results of the download complete so far, of `total` announced.
    void progressChanged(int done, int total);
    void showResults();
    void hideResults();
    // A new device object holds the workspace.
    void workspaceReplaced();
    // The instrument in use went away or stopped answering.
    void instrumentLost();
    // Every event of the device object in use, after the workspace has handled it.
    void completed(TOperationType op);

private:
    QString msg(TMsg id) const { return Msg(id, fLang); }
    void setStatus(const QString& text);
    void setStatus1(const QString& text);
    void hide();
    // The results held, newest first, in place of a wait that nothing will end.
    void showHeld();
    enum TBegin
    {
        bgNew,
        bgMerge,
        bgKeep, // the user kept the workspace with its changes
    };
    // The questions of BeginWorkspace: merge, and before dropping changes, save them.
    TBegin askBegin(bool mergeWithoutAsking);
    std::shared_ptr<TQelBase> makeDevice();
    void install(std::shared_ptr<TQelBase> dev);

    TAsk fAsk;
    TMayDiscard fMayDiscard;
    QList<TCalcQEL> fSaved; // the results as last opened or saved; shares until changed
    bool fCancelled = false;
    QString fLastError;
    TArchDupStat fOpenedStat;
    TLang fLang = ruRU;
    EPressureUnits fDimension = puKPa;
    bool fAutoClock = true;
    bool fReadOnConnect = true;
    int fNoAnswerMs = kNoAnswerMs;
    bool fLoadTypeFile = false;
    bool isReadAfterClockWrite = false;
    bool fReading = false;
    bool fWaiting = false; // the views are hidden until an outcome comes
    QString fConnectedPort;
    QString fStatus;
    QString fStatus1;
};
