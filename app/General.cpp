#include "General.h"

#include "PortSource.h"
#include "Prompter.h"
#include "data/Merge.h"
#include "data/StringGrid.h"
#include "i18n/Messages.h"
#include "windows/ChartSink.h"
#include "windows/ClipboardCopy.h"
#include "windows/CommentText.h"
#include "windows/ElidingLabel.h"
#include "windows/GridFit.h"
#include "windows/HelpWindow.h"
#include "windows/Materials.h"
#include "windows/Objects.h"
#include "windows/ReportHeader.h"
#include "windows/ReportPreview.h"
#include "windows/ScreenShots.h"

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QDragEnterEvent>
#include <QFileInfo>
#include <QHeaderView>
#include <QInputDialog>
#include <QLabel>
#include <QMenuBar>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QPrinter>
#include <QProgressBar>
#include <QSplitter>
#include <QStatusBar>
#include <QStyle>
#include <QStyleFactory>
#include <QTableView>
#include <QToolBar>
#include <QVBoxLayout>

namespace {

const QString kDarkSkin = QStringLiteral("Fusion (dark)");

QPalette darkPalette()
{
    QPalette p;
    const QColor window(45, 45, 48), base(30, 30, 30), text(220, 220, 220);
    p.setColor(QPalette::Window, window);
    p.setColor(QPalette::WindowText, text);
    p.setColor(QPalette::Base, base);
    p.setColor(QPalette::AlternateBase, window);
    p.setColor(QPalette::ToolTipBase, window);
    p.setColor(QPalette::ToolTipText, text);
    p.setColor(QPalette::Text, text);
    p.setColor(QPalette::Button, window);
    p.setColor(QPalette::ButtonText, text);
    p.setColor(QPalette::Highlight, QColor(38, 79, 120));
    p.setColor(QPalette::HighlightedText, Qt::white);
    p.setColor(QPalette::Link, QColor(86, 156, 214));
    p.setColor(QPalette::Disabled, QPalette::Text, QColor(120, 120, 120));
    p.setColor(QPalette::Disabled, QPalette::ButtonText, QColor(120, 120, 120));
    return p;
}

// A theme icon where the desktop has one, the style's own otherwise: no button is empty.
QIcon icon(const char* theme, QStyle::StandardPixmap fallback)
{
    return QIcon::fromTheme(QString::fromLatin1(theme),
                            QApplication::style()->standardIcon(fallback));
}

} // namespace

TMainForm::TMainForm(IPortSource* ports, IPrompter* prompter, const QString& fileArg,
                     QWidget* parent)
    : QMainWindow(parent), fPorts(ports), fPrompter(prompter), fFileArg(fileArg)
{
    setWindowTitle(QStringLiteral("QEL-1.Connect"));
    setMinimumSize(800, 600);
    setMaximumSize(2560, 1440);
    resize(1100, 680);
    buildViews();
    buildMenus();
    fDevices = std::make_unique<TDeviceList>(fPorts, fWorkspace);
    fScreenForm = new TScreenForm(fPrompter, this);
    connectWorkspace();
    connectDeviceList();
    connectFileCommands();
    connectCatalogues();
    setAcceptDrops(true);
    FormCreate();
}

// The workspace releases its device object, silent, as it goes.
TMainForm::~TMainForm() = default;

void TMainForm::connectWorkspace()
{
    fWorkspace.setAsk([this](TWorkspace::TQuestion, const QString& text) {
        return fPrompter && fPrompter->ask(this, windowTitle(), text);
    });
    connect(&fWorkspace, &TWorkspace::statusChanged, this, &TMainForm::setStatus);
    connect(&fWorkspace, &TWorkspace::status1Changed, this, &TMainForm::setStatus1);
    connect(&fWorkspace, &TWorkspace::progressChanged, this, [this](int done, int total) {
        ProgressBarLoad->setMaximum(qMax(1, total));
        ProgressBarLoad->setValue(done);
    });
    connect(&fWorkspace, &TWorkspace::hideResults, this, &TMainForm::HideResultViews);
    connect(&fWorkspace, &TWorkspace::showResults, this, &TMainForm::showResults);
    connect(&fWorkspace, &TWorkspace::workspaceReplaced, this, [this] { lastSelectRow = 0; });
    connect(smClockAuto, &QAction::toggled, &fWorkspace, &TWorkspace::setAutoClock);
    // A screen that reaches the window itself opens the screen window; losing the
    // instrument closes it.
    connect(&fWorkspace, &TWorkspace::completed, this, [this](TOperationType op) {
        if (op == otScreenReady && !fScreenForm->isOpen() && !fScreenForm->takeLateScreen())
            openScreenForm();
    });
    connect(&fWorkspace, &TWorkspace::instrumentLost, fScreenForm, [this] {
        if (fScreenForm->isOpen())
            fScreenForm->close();
    });
}

void TMainForm::connectDeviceList()
{
    TDeviceList* list = fDevices.get();
    // The box mirrors the list; programmatic changes of the box never count as a choice.
    connect(list, &TDeviceList::entriesCleared, sDevSelectBox, &QComboBox::clear);
    connect(list, &TDeviceList::entryAdded, sDevSelectBox,
            [this](const QString& name) { sDevSelectBox->addItem(name); });
    connect(list, &TDeviceList::entryRemoved, sDevSelectBox, &QComboBox::removeItem);
    connect(list, &TDeviceList::currentChanged, sDevSelectBox, &QComboBox::setCurrentIndex);
    connect(list, &TDeviceList::choiceWanted, sDevSelectBox, [this] {
        if (sDevSelectBox->count() > 1 && !sDevSelectBox->view()->isVisible())
            sDevSelectBox->showPopup();
    });
    connect(list, &TDeviceList::statusChanged, this, &TMainForm::setStatus);
}

// ---------------------------------------------------------------- building

QAction* TMainForm::makeAction(const char* name, const TCaption& caption, const QIcon& ico,
                               const QKeySequence& shortcut, void (TMainForm::*handler)())
{
    auto* a = new QAction(ico, QString::fromUtf8(caption.ru), this);
    a->setObjectName(QString::fromLatin1(name));
    if (!shortcut.isEmpty())
        a->setShortcut(shortcut);
    connect(a, &QAction::triggered, this, handler);
    addAction(a); // shortcuts work wherever the focus is
    fCaptions.append({a, caption});
    return a;
}

void TMainForm::buildViews()
{
    fGrid = new TStringGrid(this);
    BasicGrid = new QTableView;
    BasicGrid->setObjectName(QStringLiteral("BasicGrid"));
    BasicGrid->setModel(fGrid);
    BasicGrid->setSelectionBehavior(QAbstractItemView::SelectRows);
    BasicGrid->setSelectionMode(QAbstractItemView::ContiguousSelection);
    BasicGrid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    BasicGrid->verticalHeader()->setDefaultSectionSize(24);
    BasicGrid->verticalHeader()->hide();
    BasicGrid->horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    BasicGrid->setWordWrap(false);
    BasicGrid->setContextMenuPolicy(Qt::CustomContextMenu);
    fFitter = new TColumnFitter(BasicGrid, *fGrid, this);
    connect(BasicGrid, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& p) { BasicPopupMenu->popup(BasicGrid->mapToGlobal(p)); });
    connect(BasicGrid->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this](const QModelIndex& current) {
                if (!fSuppressSelect && current.isValid())
                    BasicGridSelectCell(current.row() + 1);
            });

    fChart = new TChartSink(this);
    fChart->view()->setObjectName(QStringLiteral("PressChart"));
    fChart->view()->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(fChart->view(), &QWidget::customContextMenuRequested, this,
            [this](const QPoint& p) { DetailPopupMenu->popup(fChart->view()->mapToGlobal(p)); });

    CommentMemo = new QPlainTextEdit;
    CommentMemo->setObjectName(QStringLiteral("CommentMemo"));
    CommentMemo->installEventFilter(this);
    CommentMemo->viewport()->installEventFilter(this);
    // A tab inside a comment would split the columns of a copied table.
    CommentMemo->setTabChangesFocus(true);

    CommentSplitter = new QSplitter(Qt::Vertical);
    CommentSplitter->addWidget(fChart->view());
    CommentSplitter->addWidget(CommentMemo);
    CommentSplitter->setStretchFactor(0, 1);
    CommentSplitter->setHandleWidth(6);
    DetailPanel = new QWidget;
    DetailPanel->setObjectName(QStringLiteral("DetailPanel"));
    auto* detailLayout = new QVBoxLayout(DetailPanel);
    detailLayout->setContentsMargins(0, 0, 0, 0);
    detailLayout->addWidget(CommentSplitter);

    DetailSplitter = new QSplitter(Qt::Horizontal);
    DetailSplitter->setObjectName(QStringLiteral("DetailSplitter"));
    DetailSplitter->addWidget(BasicGrid);
    DetailSplitter->addWidget(DetailPanel);
    DetailSplitter->setStretchFactor(0, 1);
    connect(DetailSplitter, &QSplitter::splitterMoved, this, [this] { FitGridColumns(); });
    setCentralWidget(DetailSplitter);

    fPanel0 = new TElidingLabel;
    fPanel0->setObjectName(QStringLiteral("StatusPanel0"));
    fPanel1 = new QLabel;
    fPanel1->setObjectName(QStringLiteral("StatusPanel1"));
    fPanel1->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    fPanel1->setMinimumWidth(150); // the instrument, then the file

    ProgressBarLoad = new QProgressBar;
    ProgressBarLoad->setObjectName(QStringLiteral("ProgressBarLoad"));
    ProgressBarLoad->setTextVisible(true);
    ProgressBarLoad->setFormat(QStringLiteral("%v / %m")); // results downloaded of those announced
    statusBar()->addWidget(fPanel0);
    statusBar()->addWidget(ProgressBarLoad, 1);
    statusBar()->addPermanentWidget(fPanel1);
}

void TMainForm::buildMenus()
{
    using S = QStyle;
    auto* ActionOpen =
        makeAction("ActionOpen", {"Открыть", "Open"}, icon("document-open", S::SP_DialogOpenButton),
                   QKeySequence::Open, &TMainForm::ActionOpenExecute);
    auto* ActionSave = makeAction("ActionSave", {"Сохранить", "Save"},
                                  icon("document-save", S::SP_DialogSaveButton), QKeySequence::Save,
                                  &TMainForm::ActionSaveExecute);
    auto* ActionSaveAs = makeAction("ActionSaveAs", {"Сохранить как...", "Save as…"},
                                    icon("document-save-as", S::SP_DialogSaveButton), {},
                                    &TMainForm::ActionSaveAsExecute);
    auto* ActionReport =
        makeAction("ActionReport", {"Печать...", "Print...", "Напечатать отчёт", "Print report"},
                   icon("document-print", S::SP_FileDialogDetailedView), QKeySequence::Print,
                   &TMainForm::ActionReportExecute);
    auto* ActionExport = makeAction("ActionExport", {"Экспорт...", "Export…"},
                                    icon("document-export", S::SP_DialogSaveButton), {},
                                    &TMainForm::ActionExportExecute);
    auto* ActionCloseFile = makeAction("ActionCloseFile", {"Закрыть", "Close"},
                                       icon("document-close", S::SP_DialogCloseButton), {},
                                       &TMainForm::ActionCloseFileExecute);
    auto* ActionExit = makeAction(
        "ActionExit", {"Выход", "Exit"}, icon("application-exit", S::SP_DialogCancelButton),
        QKeySequence(Qt::ALT | Qt::Key_F4), &TMainForm::ActionExitExecute);
    auto* ActionRead = makeAction("ActionRead", {"Чтение из прибора", "Read from device"},
                                  icon("drive-removable-media-usb", S::SP_DriveHDIcon),
                                  QKeySequence(Qt::Key_F5), &TMainForm::ActionReadExecute);
    auto* ActionMaterials =
        makeAction("ActionMaterials", {"Редактирование материалов", "Edit materials"},
                   icon("document-properties", S::SP_FileDialogListView), {},
                   &TMainForm::ActionMaterialsExecute);
    auto* ActionObjects =
        makeAction("ActionObjects", {"Редактирование объектов", "Edit objects"},
                   icon("folder", S::SP_DirIcon), {}, &TMainForm::ActionObjectsExecute);
    auto* ActionClock = makeAction("ActionClock", {"Синхронизация времени", "Clock synchronize"},
                                   icon("appointment-new", S::SP_BrowserReload), {},
                                   &TMainForm::ActionClockExecute);
    auto* ActionScreenshot = makeAction("ActionScreenshot", {"Снимок экрана", "Screenshot"},
                                        icon("video-display", S::SP_ComputerIcon), {},
                                        &TMainForm::ActionScreenshotExecute);
    auto* ActionSetSkin = makeAction("ActionSetSkin", {"Внешний вид...", "Appearance"},
                                     icon("preferences-desktop-theme", S::SP_DesktopIcon), {},
                                     &TMainForm::ActionSetSkinExecute);
    auto* ActionHelp = makeAction("ActionHelp", {"Вызов справки", "Help call"},
                                  icon("help-contents", S::SP_DialogHelpButton),
                                  QKeySequence::HelpContents, &TMainForm::ActionHelpExecute);
    auto* ActionAbout = makeAction("ActionAbout", {"О программе", "About"},
                                   icon("help-about", S::SP_MessageBoxInformation), {},
                                   &TMainForm::ActionAboutExecute);
    auto* ActionCopyTable = makeAction("ActionCopyTable", {"Копировать таблицу", "Copy table"},
                                       icon("edit-copy", S::SP_FileDialogContentsView), {},
                                       &TMainForm::ActionCopyTableExecute);
    auto* ActionCopySelected =
        makeAction("ActionCopySelected", {"Копировать выделенное", "Copy selected"},
                   icon("edit-copy", S::SP_FileDialogContentsView), QKeySequence::Copy,
                   &TMainForm::ActionCopySelectedExecute);
    auto* ActionReportSel =
        makeAction("ActionReportSel", {"Отчет по выделенному", "Selected report", "", ""},
                   icon("document-print", S::SP_FileDialogDetailedView), {},
                   &TMainForm::ActionReportSelExecute);
    auto* ActionRemove = makeAction("ActionRemove", {"Удалить результаты", "Delete results"},
                                    icon("edit-delete", S::SP_TrashIcon), QKeySequence::Delete,
                                    &TMainForm::ActionRemoveExecute);
    auto* ActionCopyDetails = makeAction(
        "ActionCopyDetails", {"Копировать как таблицу", "Copy as table"},
        icon("edit-copy", S::SP_FileDialogContentsView), {}, &TMainForm::ActionCopyDetailsExecute);
    auto* ActionCopyGraph =
        makeAction("ActionCopyGraph", {"Копировать как картинку", "Copy as image"},
                   icon("image-x-generic", S::SP_FileIcon), {}, &TMainForm::ActionCopyGraphExecute);
    // The table's shortcuts act on the table only, not on the comment being typed.
    for (QAction* a : {ActionCopySelected, ActionRemove}) {
        removeAction(a);
        BasicGrid->addAction(a);
        a->setShortcutContext(Qt::WidgetShortcut);
    }

    auto menu = [this](QMenu* parent, const char* name, const TCaption& caption) {
        QMenu* m = parent ? parent->addMenu(QString()) : menuBar()->addMenu(QString());
        m->setObjectName(QString::fromLatin1(name));
        fCaptions.append({m, caption});
        return m;
    };
    QMenu* smFile = menu(nullptr, "smFile", {"Файл", "File"});
    smFile->addActions({ActionOpen, ActionSave, ActionSaveAs, ActionReport, ActionExport});
    smRecent = menu(smFile, "smRecent", {"Последние файлы", "Recent files"});
    smFile->addSeparator();
    smFile->addActions({ActionCloseFile, ActionExit});
    QMenu* smDevice = menu(nullptr, "smDevice", {"Прибор", "Device"});
    smDevice->addActions(
        {ActionRead, ActionMaterials, ActionObjects, ActionClock, ActionScreenshot});
    QMenu* smParams = menu(nullptr, "smParams", {"Параметры", "Paremeters"});
    QMenu* smDimens = menu(smParams, "smDimens", {"Единицы измерения", "Units"});
    fUnitGroup = new QActionGroup(this);
    const TCaption units[] = {
        {"кПа", "kPa"}, {"Атм.", "Atm."}, {"кгс/см²", "kgf/cm²"}, {"мм рт.ст.", "mmHg"}};
    const char* unitNames[] = {"smKPa", "smAtm", "smKgs", "smMmHg"};
    for (int i = 0; i < 4; ++i) {
        QAction* a = smDimens->addAction(QString());
        a->setObjectName(QString::fromLatin1(unitNames[i]));
        a->setCheckable(true);
        a->setData(i);
        fUnitGroup->addAction(a);
        connect(a, &QAction::triggered, this, &TMainForm::ActionChangeDimensExecute);
        fCaptions.append({a, units[i]});
        fUnitItems.append(a);
    }
    QMenu* smLang = menu(smParams, "smLang", {"Язык(Language)", "Language(Язык)"});
    auto* langGroup = new QActionGroup(this);
    smRU = smLang->addAction(QStringLiteral("Русский"));
    smEN = smLang->addAction(QStringLiteral("English"));
    for (QAction* a : {smRU, smEN}) {
        a->setCheckable(true);
        langGroup->addAction(a);
        connect(a, &QAction::triggered, this, &TMainForm::ActionLangSelectExecute);
    }
    smRU->setObjectName(QStringLiteral("smRU"));
    smEN->setObjectName(QStringLiteral("smEN"));
    smClockAuto = smParams->addAction(QString());
    smClockAuto->setObjectName(QStringLiteral("smClockAuto"));
    smClockAuto->setCheckable(true);
    smClockAuto->setChecked(true);
    fCaptions.append({smClockAuto, {"Автоустановка часов", "Automatic clock setting"}});
    smPrintComments = smParams->addAction(QString());
    smPrintComments->setObjectName(QStringLiteral("smPrintComments"));
    smPrintComments->setCheckable(true);
    fCaptions.append({smPrintComments, {"Печатать комментарии", "Print comments"}});
    auto* ActionReportHeader =
        makeAction("ActionReportHeader", {"Заголовок отчета...", "Report header..."}, {}, {},
                   &TMainForm::ActionReportHeaderExecute);
    smParams->addAction(ActionReportHeader);
    smParams->addAction(ActionSetSkin);
    QMenu* smHelp = menu(nullptr, "smHelp", {"Справка", "Help"});
    smHelp->addActions({ActionHelp, ActionAbout});

    QToolBar* tb = addToolBar(QStringLiteral("MainToolBar"));
    tb->setObjectName(QStringLiteral("MainToolBar"));
    tb->setMovable(false);
    tb->setIconSize(QSize(24, 24));
    tb->addActions({ActionOpen, ActionSave, ActionReport, ActionCloseFile});
    sDevSelectBox = new QComboBox;
    sDevSelectBox->setObjectName(QStringLiteral("sDevSelectBox"));
    sDevSelectBox->setMinimumWidth(170);
    sDevSelectBox->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    connect(sDevSelectBox, &QComboBox::activated, this, &TMainForm::sDevSelectBoxChange);
    tb->addWidget(sDevSelectBox);
    tb->addActions({ActionRead, ActionMaterials, ActionObjects, ActionClock});

    BasicPopupMenu = new QMenu(this);
    BasicPopupMenu->addActions(
        {ActionCopyTable, ActionCopySelected, ActionReportSel, ActionRemove});
    DetailPopupMenu = new QMenu(this);
    DetailPopupMenu->addActions({ActionCopyDetails, ActionCopyGraph});
}

void TMainForm::retranslate()
{
    const bool en = Config.Lang == enUS;
    for (const auto& [object, c] : fCaptions) {
        const QString text = QString::fromUtf8(en ? c.en : c.ru);
        if (auto* a = qobject_cast<QAction*>(object)) {
            a->setText(text);
            const char* hint = en ? c.hintEn : c.hintRu;
            a->setToolTip(hint ? QString::fromUtf8(hint) : text);
        } else if (auto* m = qobject_cast<QMenu*>(object)) {
            m->setTitle(text);
        }
    }
    CurLang = Config.Lang;
}

QString TMainForm::msg(int id) const
{
    return Msg(TMsg(id), Config.Lang);
}

void TMainForm::setStatus(const QString& text)
{
    fPanel0->setFullText(text);
}

void TMainForm::setStatus1(const QString& text)
{
    fDeviceText = text;
    const QString file = fFiles.currentFileName();
    fPanel1->setText(file.isEmpty() ? text
                                    : text + QStringLiteral(" — ") + QFileInfo(file).fileName());
    fPanel1->setToolTip(QDir::toNativeSeparators(file));
}

QString TMainForm::statusText(int panel) const
{
    return panel == 0 ? fPanel0->fullText() : fPanel1->text();
}

bool TMainForm::resultViewsShown() const
{
    return DetailSplitter->isVisibleTo(this) && !ProgressBarLoad->isVisibleTo(this);
}

void TMainForm::notAvailable()
{
    setStatus(msg(msgNotAvailable));
}

// ---------------------------------------------------------------- start-up and settings

void TMainForm::FormCreate()
{
    LoadConfig();
    HideResultViews();
    // An archive that cannot be opened ends the start here, after its error box.
    if (!fFileArg.isEmpty() && !fFiles.OpenArchiveFile(fFileArg))
        return;
    // The scan waits for identities; it runs once the window is up, so it never holds
    // the window back.
    QTimer::singleShot(0, this, &TMainForm::ScanDevices);
}

void TMainForm::LoadConfig()
{
    if (ConfigFileExists()) {
        ::LoadConfig(Config);
        if (!Config.Placement.isEmpty())
            restoreGeometry(Config.Placement);
        for (QAction* a : fUnitItems)
            a->setChecked(a->data().toInt() == Config.Dimension);
    } else {
        QString error;
        if (!CreateConfigFolders(&error) && fPrompter)
            fPrompter->error(this, windowTitle(), error);
        Config.Lang = fPrompter ? fPrompter->askLanguage(this) : ruRU;
        // No unit item is checked on the first start; kPa is used.
        fUnitGroup->setExclusionPolicy(QActionGroup::ExclusionPolicy::ExclusiveOptional);
        for (QAction* a : fUnitItems)
            a->setChecked(false);
        fUnitGroup->setExclusionPolicy(QActionGroup::ExclusionPolicy::Exclusive);
    }
    fFiles.setRecentFiles(Config.Recent);
    smClockAuto->setChecked(Config.AutoClock);
    smPrintComments->setChecked(Config.PrintComments);
    QList<int> widths = DetailSplitter->sizes();
    if (widths.size() == 2) {
        const int total = qMax(width(), widths[0] + widths[1]);
        DetailSplitter->setSizes({qMax(100, total - Config.VertSplitter), Config.VertSplitter});
    }
    CommentSplitter->setSizes({qMax(100, height() - Config.HorizSplitter), Config.HorizSplitter});
    applySkin();
    smRU->setChecked(Config.Lang == ruRU);
    smEN->setChecked(Config.Lang == enUS);
    retranslate();
    fWorkspace.setLang(Config.Lang);
    fWorkspace.setDimension(Config.Dimension);
    fWorkspace.setAutoClock(smClockAuto->isChecked());
    setStatus(msg(msgReady));
    setStatus1(msg(msgNotConnected));
}

void TMainForm::SaveConfig()
{
    Config.Placement = saveGeometry();
    if (DetailPanel->width() > 0)
        Config.VertSplitter = DetailPanel->width();
    if (CommentMemo->height() > 0)
        Config.HorizSplitter = CommentMemo->height();
    Config.AutoClock = smClockAuto->isChecked();
    Config.PrintComments = smPrintComments->isChecked();
    const QString error = ::SaveConfig(Config);
    if (!error.isEmpty() && fPrompter)
        fPrompter->error(this, windowTitle(), error);
}

void TMainForm::applySkin()
{
    static const QPalette standard = QApplication::palette();
    if (!Config.SkinEnable) {
        QApplication::setPalette(standard);
        return;
    }
    const bool dark = Config.Skin == kDarkSkin;
    if (QStyle* s = QStyleFactory::create(dark ? QStringLiteral("Fusion") : Config.Skin))
        QApplication::setStyle(s);
    QApplication::setPalette(dark ? darkPalette() : QApplication::style()->standardPalette());
}

void TMainForm::closeEvent(QCloseEvent* event)
{
    keepTypedComment();
    if (!fFiles.mayDiscard()) {
        event->ignore();
        return;
    }
    SaveConfig();
    event->accept();
}

// ---------------------------------------------------------------- views

void TMainForm::resizeEvent(QResizeEvent* event)
{
    QMainWindow::resizeEvent(event);
    FitGridColumns();
    fPanel0->setFixedWidth(statusBar()->width() / 2);
}

void TMainForm::HideResultViews()
{
    fChart->clear();
    fChart->resetZoom();
    DetailSplitter->hide();
    ProgressBarLoad->show();
    // No count is known until the instrument announces it: the bar runs without a text.
    ProgressBarLoad->setRange(0, 0);
}

void TMainForm::ShowResultViews()
{
    DetailSplitter->show();
    ProgressBarLoad->hide();
}

void TMainForm::FitGridColumns()
{
    fFitter->start();
}

int TMainForm::selectionTop() const
{
    const QModelIndexList rows = BasicGrid->selectionModel()->selectedRows();
    int top = -1;
    for (const QModelIndex& i : rows)
        top = top < 0 ? i.row() : qMin(top, i.row());
    if (top < 0 && BasicGrid->currentIndex().isValid())
        top = BasicGrid->currentIndex().row();
    return top < 0 ? 1 : top + 1; // grid rows count the caption row
}

int TMainForm::selectionBottom() const
{
    const QModelIndexList rows = BasicGrid->selectionModel()->selectedRows();
    int bottom = -1;
    for (const QModelIndex& i : rows)
        bottom = qMax(bottom, i.row());
    return bottom < 0 ? selectionTop() : bottom + 1;
}

void TMainForm::showComment(int index)
{
    const QStringList lines = CommentStringToLines(ActiveDevice->GetComment(index));
    QString text = lines.join(u'\n');
    // A last empty line is a line of its own; without the break it would read as none.
    if (!lines.isEmpty() && lines.last().isEmpty())
        text += u'\n';
    CommentMemo->setPlainText(text);
}

void TMainForm::BasicGridSelectCell(int row)
{
    if (row == lastSelectRow || !ActiveDevice)
        return;
    ActiveDevice->UpdateGraph(*fChart, row - 1);
    showComment(row - 1);
    lastSelectRow = row;
}

void TMainForm::CommentMemoExit()
{
    if (!ActiveDevice)
        return;
    QString text = CommentMemo->toPlainText();
    QStringList lines;
    if (!text.isEmpty()) {
        lines = text.split(u'\n');
        if (lines.size() > 1 && lines.last().isEmpty())
            lines.removeLast();
    }
    ActiveDevice->SetComment(selectionTop() - 1, CommentLinesToString(lines));
}

bool TMainForm::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == CommentMemo && event->type() == QEvent::FocusOut)
        CommentMemoExit();
    // Files dropped on the comment box are opened, not typed in as their names.
    if (watched == CommentMemo->viewport()) {
        switch (event->type()) {
        case QEvent::DragEnter:
        case QEvent::DragMove:
            if (static_cast<QDropEvent*>(event)->mimeData()->hasUrls()) {
                dragMoveEvent(static_cast<QDragMoveEvent*>(event));
                return true;
            }
            break;
        case QEvent::Drop:
            if (static_cast<QDropEvent*>(event)->mimeData()->hasUrls()) {
                dropEvent(static_cast<QDropEvent*>(event));
                return true;
            }
            break;
        default:
            break;
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

// The table, the graph of result 0 and its comment, as after a read or an open.
void TMainForm::showResults()
{
    ShowResultViews();
    ActiveDevice->UpdateBasicGrid(*fGrid);
    ActiveDevice->UpdateGraph(*fChart, 0);
    showComment(0);
    fSuppressSelect = true;
    BasicGrid->selectRow(0);
    fSuppressSelect = false;
    FitGridColumns();
}

void TMainForm::ActionChangeDimensExecute()
{
    auto* item = qobject_cast<QAction*>(sender());
    if (item)
        item->setChecked(true);
    for (QAction* a : fUnitItems)
        if (a->isChecked()) {
            Config.Dimension = UnitFromInt(a->data().toInt());
            break;
        }
    fWorkspace.setDimension(Config.Dimension);
    if (!ActiveDevice)
        return;
    const int top = selectionTop();
    fSuppressSelect = true;
    ActiveDevice->UpdateBasicGrid(*fGrid);
    BasicGrid->selectRow(top - 1);
    fSuppressSelect = false;
    ActiveDevice->UpdateGraph(*fChart, top - 1);
    FitGridColumns();
}

// ---------------------------------------------------------------- workspace and commands

bool TMainForm::BeginWorkspace(int Model)
{
    return fWorkspace.BeginWorkspace(Model);
}

bool TMainForm::NewWorkspace(int Model)
{
    return fWorkspace.NewWorkspace(Model);
}

void TMainForm::CmdComplete(TOperationType Op)
{
    fWorkspace.CmdComplete(Op);
}

void TMainForm::sDevSelectBoxChange()
{
    if (sDevSelectBox->currentText().isEmpty())
        return;
    fDevices->sDevSelectBoxChange(sDevSelectBox->currentIndex());
    // The next Save asks for a name, even when results of a file were merged in.
    if (!fWorkspace.wasCancelled())
        fFiles.instrumentChosen();
}

bool TMainForm::devicePrecondition()
{
    if (!fDevices->hasChoice() || !ActiveDevice) {
        setStatus(msg(msgDevNotSelected));
        return false;
    }
    return true;
}

void TMainForm::ActionReadExecute()
{
    if (devicePrecondition())
        fWorkspace.readArchive();
}

void TMainForm::ActionClockExecute()
{
    if (devicePrecondition())
        fWorkspace.synchronizeClock();
}

void TMainForm::ActionMaterialsExecute()
{
    if (!devicePrecondition())
        return;
    fMatWanted = true;
    ActiveDevice->ReadMaterials();
}

void TMainForm::ActionObjectsExecute()
{
    if (!devicePrecondition())
        return;
    fObjWanted = true;
    ActiveDevice->ReadObjects();
}

void TMainForm::connectCatalogues()
{
    MatForm = new TMatForm(fPrompter, this);
    ObjForm = new TObjForm(fPrompter, this);
    connect(&fWorkspace, &TWorkspace::completed, this, [this](TOperationType op) {
        TCatalogueForm* form = nullptr;
        if (op == otMatRead && std::exchange(fMatWanted, false))
            form = MatForm;
        else if (op == otObjRead && std::exchange(fObjWanted, false))
            form = ObjForm;
        if (!form || form->isVisible())
            return;
        // Shown from the event loop, not from inside the device's callback.
        QMetaObject::invokeMethod(
            form,
            [this, form] {
                if (!ActiveDevice)
                    return;
                form->ApplyLanguage(Config.Lang);
                form->Execute(ActiveDevice);
            },
            Qt::QueuedConnection);
    });
    // An editor never outlives the device object or the instrument it edits.
    auto abandon = [this] {
        fMatWanted = fObjWanted = false;
        MatForm->abandon();
        ObjForm->abandon();
    };
    connect(&fWorkspace, &TWorkspace::instrumentLost, this, abandon);
    connect(&fWorkspace, &TWorkspace::workspaceReplaced, this, abandon);
}

void TMainForm::ActionScreenshotExecute()
{
    if (devicePrecondition())
        openScreenForm();
}

void TMainForm::openScreenForm()
{
    fScreenForm->ApplyLanguage(Config.Lang);
    fScreenForm->Execute();
}

void TMainForm::ActionRemoveExecute()
{
    if (!ActiveDevice || !resultViewsShown()) {
        setStatus(msg(msgDevNotSelected));
        return;
    }
    const int top = selectionTop();
    const int bottom = selectionBottom();
    if (!fWorkspace.removeResults(top - 1, bottom - top + 1))
        return;
    fSuppressSelect = true;
    ActiveDevice->UpdateBasicGrid(*fGrid);
    BasicGrid->selectRow(qMin(top, fGrid->rowCountAll() - 1) - 1);
    fSuppressSelect = false;
    ActiveDevice->UpdateGraph(*fChart, top - 1);
    showComment(top - 1);
    lastSelectRow = top;
    FitGridColumns();
}

void TMainForm::ActionOpenExecute()
{
    keepTypedComment();
    if (fPrompter)
        openFiles(fPrompter->openFileNames(this, fFiles.currentFileName()));
}
void TMainForm::ActionSaveExecute()
{
    keepTypedComment();
    fFiles.save();
}
void TMainForm::ActionSaveAsExecute()
{
    keepTypedComment();
    fFiles.saveAs();
}
void TMainForm::ActionReportExecute()
{
    const TReportRange r =
        printRows(TRowBlock{selectionTop(), selectionBottom()}, fGrid->rowCountAll(), [this] {
            return !fPrompter || fPrompter->ask(this, windowTitle(), msg(msgReportSelection));
        });
    ShowResultsReport(r.First, r.Count);
}
void TMainForm::ActionCloseFileExecute()
{
    keepTypedComment();
    fFiles.close();
}
void TMainForm::ActionReportHeaderExecute()
{
    TReportHeaderForm form(fPrompter, this);
    form.ApplyLanguage(Config.Lang);
    form.load(Config);
    if (form.exec() == QDialog::Accepted)
        form.store(Config);
}
void TMainForm::ActionAboutExecute()
{
    notAvailable();
}
void TMainForm::ActionCopyTableExecute()
{
    CopyRowsToClipboard(1, fGrid->rowCountAll() - 1);
}
void TMainForm::ActionCopySelectedExecute()
{
    const int top = selectionTop();
    CopyRowsToClipboard(top, selectionBottom() - top + 1);
}
void TMainForm::ActionReportSelExecute()
{
    const TReportRange r = selectedRows(TRowBlock{selectionTop(), selectionBottom()});
    ShowResultsReport(r.First, r.Count);
}

void TMainForm::ShowResultsReport(int First, int Count)
{
    keepTypedComment();
    const TReportChoice c = chooseReport(ActiveDevice ? ActiveDevice->GetArchCount() : 0, First,
                                         Count, smPrintComments->isChecked(), Config.Lang);
    if (c.kind == TReportKind::None) {
        setStatus(c.status);
        return;
    }
    ReportFirstLine = c.First;
    ReportLinesTotal = c.Count;
    std::unique_ptr<TPreparedReport> report = prepareReport(c);
    if (!fReportPreview)
        fReportPreview = new TReportPreviewForm(fPrompter, this);
    fReportPreview->ApplyLanguage(Config.Lang);
    fReportPreview->Execute(std::move(report));
}

// The report of the whole table, in the layout Print would give it; none without results.
std::optional<TReportChoice> TMainForm::wholeTableReport()
{
    const TReportChoice c =
        chooseReport(ActiveDevice ? ActiveDevice->GetArchCount() : 0, 1, fGrid->rowCountAll() - 1,
                     smPrintComments->isChecked(), Config.Lang);
    if (c.kind == TReportKind::None) {
        setStatus(c.status);
        return std::nullopt;
    }
    return c;
}

std::unique_ptr<TPreparedReport> TMainForm::prepareReport(const TReportChoice& choice)
{
    const QList<TCalcQEL> none;
    const TQelBase* dev = fWorkspace.device();
    // The single-result layout shows the graph as it is on screen, zoom included.
    const QImage graph =
        choice.kind == TReportKind::Single ? fChart->view()->grab().toImage() : QImage();
    return std::make_unique<TPreparedReport>(*fGrid, dev ? dev->archive() : none, choice,
                                             Config.Lang, graph, QDateTime::currentDateTime(),
                                             letterheadOf(Config));
}

void TMainForm::ActionExportExecute()
{
    keepTypedComment();
    const std::optional<TReportChoice> c = wholeTableReport();
    if (!c || !fPrompter)
        return;
    const std::optional<TExportTarget> target = fPrompter->exportFileName(
        this, exportSuggestedName(Msg(msgReportTitle, Config.Lang), TExportFormat::Pdf),
        Config.Lang);
    if (!target)
        return;
    TWorkProgress work(this, PreviewText(ptExporting, Config.Lang), Config.Lang);
    std::unique_ptr<TPreparedReport> report = prepareReport(*c);
    QString error;
    const bool ok = ExportWithProgress(work, report->engine(), *target, &error);
    const QString text = ExportOutcomeText(ok, work.cancelled(), *target, error, Config.Lang);
    setStatus(text);
    if (!ok && !work.cancelled())
        fPrompter->error(this, windowTitle(), text);
}
void TMainForm::ActionCopyDetailsExecute()
{
    QGuiApplication::clipboard()->setText(ChartText(*fChart));
    setStatus(msg(msgResultsCopied));
}
void TMainForm::ActionCopyGraphExecute()
{
    // What the chart shows now, zoom and scrolling included.
    QGuiApplication::clipboard()->setImage(fChart->grabImage());
    setStatus(msg(msgResultsCopied));
}

void TMainForm::CopyRowsToClipboard(int FirstRow, int Count)
{
    const QList<TCalcQEL> none;
    const TQelBase* dev = fWorkspace.device();
    QGuiApplication::clipboard()->setMimeData(
        TableRowsMime(*fGrid, dev ? dev->archive() : none, FirstRow, Count, Config.Lang));
    setStatus(msg(msgResultsCopied));
}

void TMainForm::ActionLangSelectExecute()
{
    // The menu shows the language in force.
    smRU->setChecked(Config.Lang == ruRU);
    smEN->setChecked(Config.Lang == enUS);
    notAvailable();
}

void TMainForm::ActionExitExecute()
{
    close();
}

void TMainForm::ActionHelpExecute()
{
    if (!fHelp)
        fHelp = new THelpWindow(this);
    fHelp->showGuide(QCoreApplication::applicationDirPath() + QStringLiteral("/Help"), Config.Lang);
}

void TMainForm::ActionSetSkinExecute()
{
    QStringList skins = QStyleFactory::keys();
    skins.append(kDarkSkin);
    const QString none =
        Config.Lang == enUS ? QStringLiteral("(system)") : QStringLiteral("(системный)");
    skins.prepend(none);
    const int current = Config.SkinEnable ? qMax(0, int(skins.indexOf(Config.Skin))) : 0;
    bool ok = false;
    const QString chosen =
        QInputDialog::getItem(this, windowTitle(), QString(), skins, current, false, &ok);
    if (!ok)
        return;
    Config.SkinEnable = chosen != none;
    if (Config.SkinEnable)
        Config.Skin = chosen;
    applySkin();
}

// ---------------------------------------------------------------- discovery

void TMainForm::ScanDevices()
{
    fDevices->ScanDevices();
}

void TMainForm::OnDeviceChange()
{
    fDevices->OnDeviceChange();
}

void TMainForm::DevChangeTimerTimer()
{
    fDevices->DevChangeTimerTimer();
}

void TMainForm::UpdateDeviceList(const QString& Port, bool Added)
{
    fDevices->UpdateDeviceList(Port, Added);
}

// ---------------------------------------------------------------- archive files

void TMainForm::connectFileCommands()
{
    TFileCommands::TDialogs d;
    d.saveName = [this](const QString& name) {
        return fPrompter ? fPrompter->saveFileName(this, name) : QString();
    };
    d.confirm = [this](const QString& text) {
        return fPrompter && fPrompter->ask(this, windowTitle(), text);
    };
    d.saveChanges = [this](const QString& text) {
        return fPrompter ? fPrompter->askSaveChanges(this, windowTitle(), text)
                         : TSaveChoice::Cancel;
    };
    fFiles.setDialogs(std::move(d));
    connect(&fFiles, &TFileCommands::statusChanged, this, &TMainForm::setStatus);
    connect(&fFiles, &TFileCommands::failed, this, [this](const QString& text) {
        if (fPrompter)
            fPrompter->error(this, windowTitle(), text);
    });
    connect(&fFiles, &TFileCommands::deselectInstrument, fDevices.get(), &TDeviceList::clearChoice);
    connect(&fFiles, &TFileCommands::currentFileChanged, this, [this] { setStatus1(fDeviceText); });
    connect(&fFiles, &TFileCommands::recentChanged, this, &TMainForm::rebuildRecentMenu);
}

void TMainForm::openFiles(const QStringList& files)
{
    fFiles.open(files);
}

// A comment typed but not yet stored (a shortcut does not move the focus) goes with the
// results into the file or the question about them.
void TMainForm::keepTypedComment()
{
    if (ActiveDevice && resultViewsShown())
        CommentMemoExit();
}

void TMainForm::rebuildRecentMenu(const QStringList& files)
{
    Config.Recent = files;
    // The action chosen may be the one running this: it goes once its signal is done.
    for (QAction* old : smRecent->actions()) {
        smRecent->removeAction(old);
        old->setObjectName(QString());
        old->deleteLater();
    }
    for (qsizetype i = 0; i < files.size(); ++i) {
        const QString file = files[i];
        QAction* a = smRecent->addAction(
            QStringLiteral("&%1 %2").arg(i + 1).arg(QDir::toNativeSeparators(file)));
        a->setObjectName(QStringLiteral("RecentFile%1").arg(i + 1));
        connect(a, &QAction::triggered, this, [this, file] {
            keepTypedComment();
            fFiles.openRecent(file);
        });
    }
}

namespace {
QStringList droppedFiles(const QMimeData* mime)
{
    QStringList files;
    if (mime)
        for (const QUrl& url : mime->urls())
            if (url.isLocalFile())
                files.append(url.toLocalFile());
    return files;
}
} // namespace

void TMainForm::dragEnterEvent(QDragEnterEvent* event)
{
    dragMoveEvent(event);
}

void TMainForm::dragMoveEvent(QDragMoveEvent* event)
{
    if (droppedFiles(event->mimeData()).isEmpty())
        event->ignore();
    else
        event->acceptProposedAction();
}

// Dropped files open as chosen in the open dialog, refusals included.
void TMainForm::dropEvent(QDropEvent* event)
{
    const QStringList files = droppedFiles(event->mimeData());
    if (files.isEmpty()) {
        event->ignore();
        return;
    }
    event->acceptProposedAction();
    keepTypedComment();
    openFiles(files);
}
