#include "CatalogueForm.h"

#include "app/Prompter.h"
#include "app/Settings.h"
#include "i18n/Messages.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QHeaderView>
#include <QKeyEvent>
#include <QStyle>
#include <QTableView>
#include <QToolBar>
#include <QVBoxLayout>

namespace {

struct TCaption
{
    const char* ru;
    const char* en;
};

QString pick(const TCaption& c, int lang)
{
    return QString::fromUtf8(lang == enUS ? c.en : c.ru);
}

const TCaption kMatTitle{"Материалы", "Materials"};
const TCaption kObjTitle{"Объекты", "Objects"};
const TCaption kSave{"Записать в прибор", "Write to device"};
const TCaption kDefault{"Восстановить заводские", "Restore factory"};
const TCaption kCancel{"Выход", "Exit"};
const TCaption kSaveFile{"Сохранить в файл…", "Save to file…"};
const TCaption kLoadFile{"Загрузить из файла…", "Load from file…"};

} // namespace

TCatalogueForm::TCatalogueForm(TCatalogueEditor::TKind kind, IPrompter* prompter, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                          Qt::WindowCloseButtonHint),
      fEditor(kind), fPrompter(prompter)
{
    setModal(true);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    fToolBar = new QToolBar(this);
    fToolBar->setObjectName(QStringLiteral("CatalogueToolBar"));
    fToolBar->setToolButtonStyle(Qt::ToolButtonIconOnly);
    auto make = [this](const char* name, QStyle::StandardPixmap pix,
                       void (TCatalogueForm::*slot)()) {
        auto* a = new QAction(style()->standardIcon(pix), QString(), this);
        a->setObjectName(QString::fromLatin1(name));
        connect(a, &QAction::triggered, this, slot);
        fToolBar->addAction(a);
        return a;
    };
    ActionSave =
        make("ActionSave", QStyle::SP_DialogSaveButton, &TCatalogueForm::ActionSaveExecute);
    ActionDefault =
        make("ActionDefault", QStyle::SP_BrowserReload, &TCatalogueForm::ActionDefaultExecute);
    ActionCancel =
        make("ActionCancel", QStyle::SP_DialogCloseButton, &TCatalogueForm::ActionCancelExecute);
    fToolBar->addSeparator();
    ActionSaveFile =
        make("ActionSaveFile", QStyle::SP_DriveFDIcon, &TCatalogueForm::ActionSaveFileExecute);
    ActionLoadFile =
        make("ActionLoadFile", QStyle::SP_DirOpenIcon, &TCatalogueForm::ActionLoadFileExecute);
    layout->addWidget(fToolBar);

    fView = new QTableView(this);
    fView->setObjectName(QStringLiteral("CatalogueGrid"));
    fView->setModel(&fEditor.grid());
    fView->verticalHeader()->hide();
    // One line per cell: a coefficient fits its 68 pixels unbroken.
    fView->setWordWrap(false);
    fView->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    fView->verticalHeader()->setDefaultSectionSize(fView->fontMetrics().height() + 8);
    fView->horizontalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    fView->horizontalHeader()->setHighlightSections(false);
    fView->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    fView->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    fView->setEditTriggers(QAbstractItemView::AllEditTriggers);
    fView->setSelectionMode(QAbstractItemView::SingleSelection);
    fView->installEventFilter(this);
    layout->addWidget(fView);
    // An edit finished by the mouse alone still counts as a change.
    connect(&fEditor.grid(), &QAbstractItemModel::dataChanged, this,
            [this] { fEditor.keyPressed(); });
    ApplyLanguage(ruRU);
}

void TCatalogueForm::ApplyLanguage(TLang lang)
{
    CurLang = lang;
    setWindowTitle(
        pick(fEditor.kind() == TCatalogueEditor::ckMaterials ? kMatTitle : kObjTitle, lang));
    const std::pair<QAction*, const TCaption*> actions[] = {
        {ActionSave, &kSave},         {ActionDefault, &kDefault},   {ActionCancel, &kCancel},
        {ActionSaveFile, &kSaveFile}, {ActionLoadFile, &kLoadFile},
    };
    for (const auto& [a, c] : actions) {
        a->setText(pick(*c, lang));
        a->setToolTip(pick(*c, lang));
    }
}

void TCatalogueForm::prepare(std::shared_ptr<IQel> dev)
{
    fClosing = false;
    fEditor.setBackupFolder(CatalogueFolder());
    fEditor.begin(std::move(dev));
    fitToGrid();
    if (QWidget* main = parentWidget())
        move(main->geometry().center() - rect().center());
}

bool TCatalogueForm::Execute(std::shared_ptr<IQel> dev)
{
    prepare(std::move(dev));
    exec();
    return fEditor.ExecResult;
}

void TCatalogueForm::showFor(std::shared_ptr<IQel> dev)
{
    prepare(std::move(dev));
    show();
}

void TCatalogueForm::fitToGrid()
{
    TStringGrid& g = fEditor.grid();
    int width = 0;
    // The designed widths, or wider where the font would cut a cell's text.
    const QFontMetrics fm = fView->fontMetrics();
    for (int c = 0; c < g.colCount(); ++c) {
        int w = g.colWidth(c);
        for (int r = 0; r < g.rowCountAll(); ++r)
            w = qMax(w, fm.horizontalAdvance(g.cell(c, r)) + 12);
        fView->setColumnWidth(c, w);
        width += w;
    }
    width += fEditor.kind() == TCatalogueEditor::ckMaterials ? 7 : 5;
    const int rows = fView->horizontalHeader()->sizeHint().height() +
                     (g.rowCountAll() - 1) * fView->verticalHeader()->defaultSectionSize();
    setFixedSize(width, rows + fToolBar->sizeHint().height() + 24);
}

bool TCatalogueForm::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == fView && event->type() == QEvent::KeyPress)
        fEditor.keyPressed(); // arrows too: the question errs on the side of asking
    return QDialog::eventFilter(watched, event);
}

void TCatalogueForm::showBadCell()
{
    const qelcat::TCell bad = fEditor.badCell();
    if (!bad.isValid())
        return;
    fView->setCurrentIndex(fEditor.grid().index(bad.row - 1, bad.col));
    if (fPrompter)
        fPrompter->error(
            this, windowTitle(),
            Msg(msgBadCoef, TLang(CurLang)).arg(bad.row).arg(fEditor.grid().cell(bad.col, 0)));
}

void TCatalogueForm::commitOpenEditor()
{
    // A cell still being typed into counts as typed.
    QWidget* ed = QApplication::focusWidget();
    if (ed && ed != fView && fView->isAncestorOf(ed)) {
        QMetaObject::invokeMethod(fView, "commitData", Q_ARG(QWidget*, ed));
        QMetaObject::invokeMethod(
            fView, "closeEditor", Q_ARG(QWidget*, ed),
            Q_ARG(QAbstractItemDelegate::EndEditHint, QAbstractItemDelegate::NoHint));
    }
}

bool TCatalogueForm::closeAllowed()
{
    commitOpenEditor();
    if (!fEditor.isOpen())
        return true;
    const bool ok = fEditor.mayClose([this] {
        return fPrompter &&
               fPrompter->ask(this, windowTitle(), Msg(msgWriteToDevice, TLang(CurLang)));
    });
    if (!ok)
        showBadCell();
    return ok;
}

void TCatalogueForm::ActionSaveExecute()
{
    commitOpenEditor();
    if (!fEditor.save()) {
        showBadCell();
        return;
    }
    fClosing = true;
    QDialog::done(Accepted);
    fEditor.end();
}

void TCatalogueForm::ActionDefaultExecute()
{
    fEditor.restoreFactory();
}

void TCatalogueForm::ActionCancelExecute()
{
    fEditor.cancel();
    fClosing = true;
    QDialog::done(Rejected);
    fEditor.end();
}

void TCatalogueForm::abandon()
{
    if (isVisible())
        ActionCancelExecute();
}

void TCatalogueForm::ActionSaveFileExecute()
{
    commitOpenEditor();
    const QString path = fPrompter ? fPrompter->catalogueFileName(this, true) : QString();
    if (path.isEmpty())
        return;
    QString error;
    if (!fEditor.saveToFile(path, &error)) {
        if (fEditor.badCell().isValid())
            showBadCell();
        else if (fPrompter)
            fPrompter->error(this, windowTitle(),
                             Msg(msgCatalogueNotWritten, TLang(CurLang)) + error);
    }
}

void TCatalogueForm::ActionLoadFileExecute()
{
    const QString path = fPrompter ? fPrompter->catalogueFileName(this, false) : QString();
    if (path.isEmpty())
        return;
    QString error;
    if (!fEditor.loadFromFile(path, &error) && fPrompter)
        fPrompter->error(this, windowTitle(), Msg(msgCatalogueNotRead, TLang(CurLang)) + error);
}

void TCatalogueForm::closeEvent(QCloseEvent* event)
{
    if (!fClosing && !closeAllowed()) {
        event->ignore();
        return;
    }
    fClosing = true; // the dialog's own close goes through reject()
    QDialog::closeEvent(event);
    fEditor.end();
}

void TCatalogueForm::reject()
{
    if (fClosing || closeAllowed()) {
        fClosing = true;
        QDialog::reject();
        fEditor.end();
    }
}
