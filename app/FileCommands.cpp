#include "FileCommands.h"

#include <QDir>
#include <QFileInfo>
#include <exception>

const QString TFileCommands::kFilter = QStringLiteral("QEL-1.x File|*.qel1x");

TFileCommands::TFileCommands(TWorkspace& workspace, QObject* parent)
    : QObject(parent), fWorkspace(workspace)
{
    fWorkspace.setMayDiscard([this] { return mayDiscard(); });
}

QString TFileCommands::GetFilterExt(const QString& Filter, int N)
{
    QString text = Filter;
    for (int i = 0; i < N; ++i) {
        const qsizetype star = text.indexOf(u'*');
        if (star >= 0)
            text.remove(0, star + 1);
    }
    const qsizetype bar = text.indexOf(u'|');
    return bar >= 0 ? text.left(bar) : text;
}

int TFileCommands::archiveModel(const QString& FileName)
{
    const QString ext = u'.' + FileName.mid(FileName.lastIndexOf(u'.') + 1);
    for (int model = 1; model <= 2; ++model)
        if (GetFilterExt(kFilter, model + 1) == ext)
            return model;
    return 0;
}

void TFileCommands::setRecentFiles(const QStringList& files)
{
    fRecent.clear();
    for (const QString& f : files)
        if (!f.isEmpty() && !fRecent.contains(f) && fRecent.size() < kMaxRecent)
            fRecent.append(f);
    emit recentChanged(fRecent);
}

void TFileCommands::addRecent(const QString& name)
{
    const QString path = QFileInfo(name).absoluteFilePath();
    fRecent.removeAll(path);
    fRecent.prepend(path);
    while (fRecent.size() > kMaxRecent)
        fRecent.removeLast();
    emit recentChanged(fRecent);
}

void TFileCommands::setCurrent(const QString& name)
{
    if (name == fOpenFileName)
        return;
    fOpenFileName = name;
    emit currentFileChanged(name);
}

QString TFileCommands::unreadableText(const QString& FileName) const
{
    return msg(msgFileCorrupted) + FileName;
}

bool TFileCommands::OpenArchiveFile(const QString& FileName, bool mergeWithoutAsking)
{
    // Every model opens into the same kind of workspace.
    if (archiveModel(FileName) == 0) {
        emit failed(unreadableText(FileName));
        return false;
    }
    if (!fWorkspace.openFile(FileName, mergeWithoutAsking)) {
        if (fWorkspace.wasCancelled())
            return false;
        QString text = unreadableText(FileName);
        if (!fWorkspace.lastError().isEmpty())
            text += u'\n' + fWorkspace.lastError();
        emit failed(text);
        return false;
    }
    emit deselectInstrument();
    setCurrent(FileName);
    addRecent(FileName);
    return true;
}

bool TFileCommands::open(const QStringList& files)
{
    if (files.isEmpty() || !OpenArchiveFile(files.first()))
        return false;
    for (qsizetype i = 1; i < files.size(); ++i) {
        if (!OpenArchiveFile(files[i], true)) {
            setCurrent(files.first());
            return false;
        }
    }
    setCurrent(files.first());
    return true;
}

bool TFileCommands::openRecent(const QString& file)
{
    if (!QFileInfo(file).isFile()) {
        fRecent.removeAll(file);
        emit recentChanged(fRecent);
        emit statusChanged(msg(msgRecentMissing) + QDir::toNativeSeparators(file));
        return false;
    }
    return OpenArchiveFile(file);
}

bool TFileCommands::write(const QString& name)
{
    try {
        fWorkspace.device()->SaveToFile(name);
    } catch (const std::exception& e) {
        emit failed(QString::fromUtf8(e.what()));
        return false;
    }
    fWorkspace.markSaved();
    return true;
}

TFileCommands::TOutcome TFileCommands::save()
{
    if (!fWorkspace.device()) {
        emit statusChanged(msg(msgNothingToSave));
        return Stopped;
    }
    if (fOpenFileName.isEmpty())
        return saveNamed();
    if (!write(fOpenFileName))
        return Failed;
    addRecent(fOpenFileName);
    emit statusChanged(msg(msgFileSaved));
    return Done;
}

TFileCommands::TOutcome TFileCommands::saveAs()
{
    if (!fWorkspace.device()) {
        emit statusChanged(msg(msgNothingToSave));
        return Stopped;
    }
    fSaveFileName.clear();
    return saveNamed();
}

TFileCommands::TOutcome TFileCommands::saveNamed()
{
    QString name = fDialogs.saveName ? fDialogs.saveName(fSaveFileName) : QString();
    if (name.isEmpty())
        return Stopped;
    // A name with a full stop anywhere, folders included, is taken as it is.
    if (!name.contains(u'.'))
        name += GetFilterExt(kFilter, 1);
    fSaveFileName = name;
    if (QFileInfo::exists(name) && !(fDialogs.confirm && fDialogs.confirm(msg(msgOverwrite))))
        return Stopped;
    if (!write(name))
        return Failed;
    setCurrent(name);
    addRecent(name);
    emit statusChanged(msg(msgFileSaved));
    return Done;
}

bool TFileCommands::mayDiscard()
{
    if (!fWorkspace.isModified())
        return true;
    const TSaveChoice choice =
        fDialogs.saveChanges ? fDialogs.saveChanges(msg(msgSaveChanges)) : TSaveChoice::Cancel;
    switch (choice) {
    case TSaveChoice::Save:
        return save() == Done;
    case TSaveChoice::Discard:
        return true;
    case TSaveChoice::Cancel:
        break;
    }
    return false;
}

bool TFileCommands::close()
{
    if (!mayDiscard())
        return false;
    setCurrent(QString());
    fSaveFileName.clear();
    emit deselectInstrument();
    fWorkspace.closeWorkspace();
    return true;
}

void TFileCommands::instrumentChosen()
{
    setCurrent(QString());
    fSaveFileName.clear();
}
