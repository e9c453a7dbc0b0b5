// The current workspace: which device object holds the results, whether they are merged,
// the port it is connected to, and what happens when the instrument answers. Windows and
// the command line show its outcome; it never touches a widget.
#pragma once

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

    bool BeginWorkspace(int Model);
    bool NewWorkspace(int Model);
    // The connection step of choosing an instrument: a workspace, the views hidden, the
    // port opened. False, with the port-busy text, when the port cannot be opened.
    bool connectTo(const QString& port, int model);
    // Read from device. A read that runs already goes on alone.
    void readArchive();
    void synchronizeClock();
    // Delete results: Count results from Start. A deletion that reaches the instrument
    // cannot be undone and asks first; false when nothing was deleted.
    bool removeResults(int Start, int Count);
    // Opens an archive file into the workspace (merging when the answer says so) and
    // removes the duplicates. False when it cannot be read; see device()->GetLastError().
    bool openFile(const QString& FileName);
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

    TAsk fAsk;
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
