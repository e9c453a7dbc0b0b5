// What an editor window of a catalogue decides, without widgets: the grid it shows, whether
// it holds changes, what a save or a close does, the factory defaults, the catalogue file,
// and the backup of the catalogue as read before the instrument's copy is overwritten.
#pragma once

#include "data/Catalogues.h"
#include "data/StringGrid.h"
#include "device/QelBase.h"

#include <QString>
#include <functional>
#include <memory>

class TCatalogueEditor
{
public:
    enum TKind
    {
        ckMaterials,
        ckObjects
    };
    explicit TCatalogueEditor(TKind kind);

    TKind kind() const { return fKind; }
    TStringGrid& grid() { return fGrid; }
    // "materials" or "objects", as in file names.
    QString kindName() const;

    // The window is shown for the device object's catalogue, read just before.
    void begin(std::shared_ptr<IQel> dev);
    // The window is gone; the device object is no longer held.
    void end() { fDev.reset(); }
    bool isOpen() const { return bool(fDev); }

    // Where the backups go; none are kept while it is empty.
    void setBackupFolder(const QString& folder) { fBackupFolder = folder; }

    bool isChanged = false;
    bool ExecResult = false;

    // Any key in the grid, an edit of a cell.
    void keyPressed() { isChanged = true; }
    // Write to device. False when a cell does not parse: nothing changed or was sent, and
    // badCell() names it.
    bool save();
    qelcat::TCell badCell() const { return fBadCell; }
    // Restore factory: the defaults go into the block and the grid; nothing is sent.
    void restoreFactory();
    // Exit: closes without a question and without writing.
    void cancel() { isChanged = false; }
    // The window is asked to close by any other means. With changes, `askWrite` is asked;
    // Yes saves. False when the window must stay open (a cell did not parse).
    bool mayClose(const std::function<bool()>& askWrite);

    // The catalogue file of the grid as it stands (untouched coefficients exact). False
    // with the reason; a bad cell is in badCell().
    bool saveToFile(const QString& path, QString* error);
    // Loads a catalogue file into the block and the grid, as Restore factory does: nothing
    // is sent until a save. False with the reason, nothing changed.
    bool loadFromFile(const QString& path, QString* error);
    // The backup written by the last save; empty when none was.
    QString lastBackup() const { return fLastBackup; }

private:
    TQelBase* base() const;
    void refill();

    TKind fKind;
    TStringGrid fGrid;
    std::shared_ptr<IQel> fDev;
    QByteArray fAsRead; // the catalogue file of the block as read
    QString fBackupFolder;
    QString fLastBackup;
    qelcat::TCell fBadCell;
};
