// The archive file commands of the window without its widgets: which file is current,
// when a name is asked for, the overwrite and save-changes questions, and the recent
// files. The window answers the questions through its dialogs; tests answer them in code.
#pragma once

#include "Workspace.h"

#include <QObject>
#include <QString>
#include <QStringList>
#include <functional>

enum class TSaveChoice
{
    Save,
    Discard,
    Cancel
};

class TFileCommands : public QObject
{
    Q_OBJECT
public:
    // The filter of both file dialogs, in the "caption|pattern" form GetFilterExt reads.
    static const QString kFilter;
    static constexpr int kMaxRecent = 8;

    // The file pattern of entry N of a dialog filter: N times the text up to and including
    // its first asterisk is removed (nothing when there is none), then the rest up to its
    // first vertical bar. ".qel1x" for kFilter and every N >= 1.
    static QString GetFilterExt(const QString& Filter, int N);
    // The model a file of this name opens as (1 or 2); 0 when its extension is refused.
    // The test is on the text after the last full stop, letter case counting.
    static int archiveModel(const QString& FileName);

    struct TDialogs
    {
        // The save dialog, showing `name`; empty when cancelled.
        std::function<QString(const QString& name)> saveName;
        // A Yes/No question; true for Yes.
        std::function<bool(const QString& text)> confirm;
        // Save, Discard or Cancel for a workspace with changes.
        std::function<TSaveChoice(const QString& text)> saveChanges;
    };

    // Installs the save-changes question into `workspace`, which outlives this object.
    explicit TFileCommands(TWorkspace& workspace, QObject* parent = nullptr);
    // Without dialogs no name is chosen, Yes/No questions are answered No and changes are
    // kept (Cancel).
    void setDialogs(TDialogs dialogs) { fDialogs = std::move(dialogs); }

    // The file Save writes to without asking (the open dialog's name); empty for none.
    QString currentFileName() const { return fOpenFileName; }
    // The name the save dialog shows next.
    QString saveDialogName() const { return fSaveFileName; }
    // Newest first, absolute paths.
    QStringList recentFiles() const { return fRecent; }
    void setRecentFiles(const QStringList& files);

    // Opens or merges one file; false with failed() when it is refused or unreadable, or
    // when the user kept the workspace. The name becomes the current file name.
    bool OpenArchiveFile(const QString& FileName, bool mergeWithoutAsking = false);
    // Opens the files one after another, the later ones merged into the first without a
    // question; stops at the first that fails. The first stays the current file.
    bool open(const QStringList& files);
    // A recent file: opened as Open does; a missing one leaves the list with a status text.
    bool openRecent(const QString& file);

    enum TOutcome
    {
        Done,
        Stopped, // nothing to save, or the user cancelled
        Failed,  // failed() told why
    };
    TOutcome save();
    TOutcome saveAs();
    // Close: false when the user kept the workspace.
    bool close();
    // Asks whether to save a workspace with changes before it goes; true when it may go
    // (saved, discarded, or there was nothing to lose).
    bool mayDiscard();
    // An instrument was chosen: the next Save asks for a name.
    void instrumentChosen();

signals:
    void statusChanged(const QString& text); // status panel 0
    void currentFileChanged(const QString& fileName);
    void recentChanged(const QStringList& files);
    // The instrument box shows no choice any more; a connection stays.
    void deselectInstrument();
    // A command failed; the text for the error box.
    void failed(const QString& text);

private:
    QString msg(TMsg id) const { return Msg(id, fWorkspace.lang()); }
    QString unreadableText(const QString& FileName) const;
    TOutcome saveNamed();
    bool write(const QString& name);
    void setCurrent(const QString& name);
    void addRecent(const QString& name);

    TWorkspace& fWorkspace;
    TDialogs fDialogs;
    QString fOpenFileName;
    QString fSaveFileName;
    QStringList fRecent;
};
