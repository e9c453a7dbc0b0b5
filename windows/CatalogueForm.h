// The editor window of one catalogue: a toolbar over the grid. What a key, a save or a
// close does is decided by TCatalogueEditor; this class only shows it.
#pragma once

#include "app/CatalogueEditor.h"
#include "i18n/Lang.h"

#include <QDialog>

class QAction;
class QTableView;
class QToolBar;
class IPrompter;

class TCatalogueForm : public QDialog
{
    Q_OBJECT
public:
    TCatalogueForm(TCatalogueEditor::TKind kind, IPrompter* prompter, QWidget* parent);

    // Shows the window modally for the device object's catalogue, read just before;
    // returns ExecResult.
    bool Execute(std::shared_ptr<IQel> dev);
    // The same without waiting: the window is shown and Execute's work is done as it
    // closes.
    void showFor(std::shared_ptr<IQel> dev);
    void ApplyLanguage(TLang lang);
    // The instrument went away: the window closes without a question.
    void abandon();

    int CurLang = ruRU;
    TCatalogueEditor& editor() { return fEditor; }
    QTableView* grid() const { return fView; }

    void ActionSaveExecute();
    void ActionDefaultExecute();
    void ActionCancelExecute();
    void ActionSaveFileExecute();
    void ActionLoadFileExecute();

protected:
    void closeEvent(QCloseEvent* event) override;
    void reject() override; // Escape and the close box both ask first
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void prepare(std::shared_ptr<IQel> dev);
    void fitToGrid();
    void showBadCell();
    void commitOpenEditor();
    // Asks the write question when there are changes; false keeps the window open.
    bool closeAllowed();

    TCatalogueEditor fEditor;
    IPrompter* fPrompter;
    QToolBar* fToolBar;
    QTableView* fView;
    QAction* ActionSave;
    QAction* ActionDefault;
    QAction* ActionCancel;
    QAction* ActionSaveFile;
    QAction* ActionLoadFile;
    bool fClosing = false;
};
