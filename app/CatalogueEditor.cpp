#include "CatalogueEditor.h"

#include <QFile>

TCatalogueEditor::TCatalogueEditor(TKind kind) : fKind(kind)
{
    fGrid.setEditable(true);
}

QString TCatalogueEditor::kindName() const
{
    return fKind == ckMaterials ? QStringLiteral("materials") : QStringLiteral("objects");
}

TQelBase* TCatalogueEditor::base() const
{
    return dynamic_cast<TQelBase*>(fDev.get());
}

void TCatalogueEditor::refill()
{
    if (!fDev)
        return;
    if (fKind == ckMaterials)
        fDev->UpdateMaterialsGrid(fGrid);
    else
        fDev->UpdateObjectsGrid(fGrid);
}

void TCatalogueEditor::begin(std::shared_ptr<IQel> dev)
{
    fDev = std::move(dev);
    ExecResult = false;
    fBadCell = {};
    fLastBackup.clear();
    refill();
    isChanged = false;
    TQelBase* b = base();
    fAsRead = !b ? QByteArray()
                 : (fKind == ckMaterials ? qelcat::materialsJson(b->MatCfg)
                                         : qelcat::objectsJson(b->ObjCfg));
}

bool TCatalogueEditor::save()
{
    fBadCell = {};
    if (!fDev)
        return false;
    TQelBase* b = base();
    if (fKind == ckMaterials && b) {
        fBadCell = qelcat::badMaterialCell(b->MatCfg, fGrid);
        if (fBadCell.isValid())
            return false;
    }
    // What the instrument held stays recoverable; a failed backup does not stop the write.
    if (b && !fBackupFolder.isEmpty() && !fAsRead.isEmpty())
        fLastBackup = qelcat::backupCatalogue(fBackupFolder, b->devInfo().SerialNumber, kindName(),
                                              fAsRead, nullptr);
    if (fKind == ckMaterials)
        fDev->ApplyMaterials(fGrid);
    else
        fDev->ApplyObjects(fGrid);
    ExecResult = true;
    isChanged = false;
    return true;
}

void TCatalogueEditor::restoreFactory()
{
    if (!fDev)
        return;
    if (fKind == ckMaterials)
        fDev->ResetMaterials();
    else
        fDev->ResetObjects();
    refill();
    isChanged = true;
}

bool TCatalogueEditor::mayClose(const std::function<bool()>& askWrite)
{
    if (!isChanged)
        return true;
    if (!askWrite || !askWrite())
        return true;
    return save();
}

bool TCatalogueEditor::saveToFile(const QString& path, QString* error)
{
    TQelBase* b = base();
    if (!b)
        return false;
    QByteArray json;
    if (fKind == ckMaterials) {
        TMatBlock copy = b->MatCfg;
        fBadCell = qelcat::applyMaterialsGrid(copy, fGrid);
        if (fBadCell.isValid())
            return false;
        json = qelcat::materialsJson(copy);
    } else {
        TObjBlock copy = b->ObjCfg;
        qelcat::applyObjectsGrid(copy, fGrid);
        json = qelcat::objectsJson(copy);
    }
    return qelcat::writeFileAtomic(path, json, error);
}

bool TCatalogueEditor::loadFromFile(const QString& path, QString* error)
{
    TQelBase* b = base();
    if (!b)
        return false;
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) {
        if (error)
            *error = f.errorString();
        return false;
    }
    const QByteArray json = f.readAll();
    const bool ok = fKind == ckMaterials ? qelcat::materialsFromJson(json, b->MatCfg, error)
                                         : qelcat::objectsFromJson(json, b->ObjCfg, error);
    if (!ok)
        return false;
    refill();
    isChanged = true;
    return true;
}
