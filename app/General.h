// The main window: the results table, the graph and comment of the selected result, the
// instrument box and the commands. What the commands do is the workspace's and the device
// list's; the window shows their outcome.
#pragma once

#include "DeviceList.h"
#include "FileCommands.h"
#include "Settings.h"
#include "Workspace.h"
#include "data/QelTypes.h"
#include "device/QelBase.h"
#include "reports/ReportPreview.h"

#include <QMainWindow>
#include <QPointer>
#include <memory>
#include <optional>

class QAction;
class QActionGroup;
class QComboBox;
class QLabel;
class QMenu;
class QPlainTextEdit;
class QProgressBar;
class QSplitter;
class QTableView;
class IPortSource;
class IPrompter;
class TChartSink;
class TColumnFitter;
class TElidingLabel;
class THelpWindow;
class TScreenForm;
class TStringGrid;
class TMatForm;
class TObjForm;
class TReportPreviewForm;

class TMainForm : public QMainWindow
{
    Q_OBJECT
public:
    // `ports` and `prompter` stay owned by the caller and outlive the window. `fileArg` is
    // the archive named on the command line (empty for none).
    TMainForm(IPortSource* ports, IPrompter* prompter, const QString& fileArg = {},
              QWidget* parent = nullptr);
    ~TMainForm() override;

    // For tests and the status line.
    const TGuiConfig& config() const { return Config; }
    // The catalogue editors, for tests that drive them.
    TMatForm* matForm() const { return MatForm; }
    TObjForm* objForm() const { return ObjForm; }
    TWorkspace& workspace() { return fWorkspace; }
    TDeviceList& deviceList() { return *fDevices; }
    QString statusText(int panel) const;
    TStringGrid* grid() const { return fGrid; }
    QTableView* basicGrid() const { return BasicGrid; }
    TChartSink* chart() const { return fChart; }
    QPlainTextEdit* commentMemo() const { return CommentMemo; }
    QComboBox* devSelectBox() const { return sDevSelectBox; }
    QProgressBar* progressBar() const { return ProgressBarLoad; }
    bool resultViewsShown() const;
    THelpWindow* helpWindow() const { return fHelp; }
    TFileCommands& fileCommands() { return fFiles; }
    TScreenForm* screenForm() const { return fScreenForm; }
    // The report preview; null until the first report.
    TReportPreviewForm* reportPreview() const { return fReportPreview; }

public slots:
    void ScanDevices();
    void OnDeviceChange();
    void sDevSelectBoxChange();
    void CommentMemoExit();

    void ActionOpenExecute();
    void ActionSaveExecute();
    void ActionSaveAsExecute();
    void ActionReportExecute();
    void ActionCloseFileExecute();
    void ActionExitExecute();
    void ActionReadExecute();
    void ActionMaterialsExecute();
    void ActionObjectsExecute();
    void ActionClockExecute();
    void ActionScreenshotExecute();
    void ActionSetSkinExecute();
    void ActionHelpExecute();
    void ActionAboutExecute();
    void ActionReportHeaderExecute();
    void ActionCopyTableExecute();
    void ActionCopySelectedExecute();
    void ActionReportSelExecute();
    void ActionRemoveExecute();
    void ActionCopyDetailsExecute();
    void ActionCopyGraphExecute();
    void ActionChangeDimensExecute();
    void ActionLangSelectExecute();
    void ActionExportExecute();
    void ShowResultsReport(int First, int Count);

protected:
    void resizeEvent(QResizeEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    struct TCaption
    {
        const char* ru;
        const char* en;
        const char* hintRu = nullptr;
        const char* hintEn = nullptr;
    };

    QAction* makeAction(const char* name, const TCaption& caption, const QIcon& icon,
                        const QKeySequence& shortcut, void (TMainForm::*handler)());
    void buildMenus();
    void buildViews();
    void retranslate();
    QString msg(int id) const;
    void CopyRowsToClipboard(int FirstRow, int Count);
    void setStatus(const QString& text);
    void setStatus1(const QString& text);
    void notAvailable();
    void openScreenForm();
    bool devicePrecondition();

    void FormCreate();
    void LoadConfig();
    void SaveConfig();
    void applySkin();
    void HideResultViews();
    void ShowResultViews();
    void FitGridColumns();
    void BasicGridSelectCell(int row);
    void showComment(int index);
    void showResults();
    int selectionTop() const;
    int selectionBottom() const;

    bool BeginWorkspace(int Model);
    bool NewWorkspace(int Model);
    void CmdComplete(TOperationType Op);

    void DevChangeTimerTimer();
    void UpdateDeviceList(const QString& Port, bool Added);
    void connectWorkspace();
    void connectDeviceList();
    void connectFileCommands();
    void openFiles(const QStringList& files);
    void keepTypedComment();
    void rebuildRecentMenu(const QStringList& files);

    TGuiConfig Config;
    int lastSelectRow = 0;
    TLang CurLang = ruRU; // the language the captions are in; the running switch reads it

    IPortSource* fPorts;
    IPrompter* fPrompter;
    QString fFileArg;
    TWorkspace fWorkspace;
    TFileCommands fFiles{fWorkspace};
    QString fDeviceText;                   // status panel 1 before the file name
    std::unique_ptr<TDeviceList> fDevices; // after the workspace it uses, gone before it
    bool fSuppressSelect = false;

    TStringGrid* fGrid = nullptr;
    TColumnFitter* fFitter = nullptr;
    TChartSink* fChart = nullptr;
    QSplitter* DetailSplitter = nullptr;
    QSplitter* CommentSplitter = nullptr;
    QTableView* BasicGrid = nullptr;
    QWidget* DetailPanel = nullptr;
    QPlainTextEdit* CommentMemo = nullptr;
    TElidingLabel* fPanel0 = nullptr;
    QLabel* fPanel1 = nullptr;
    QProgressBar* ProgressBarLoad = nullptr;
    QComboBox* sDevSelectBox = nullptr;

    QList<QPair<QObject*, TCaption>> fCaptions; // actions and menus with their texts
    QAction* smClockAuto = nullptr;
    QAction* smPrintComments = nullptr;
    QList<QAction*> fUnitItems;
    QActionGroup* fUnitGroup = nullptr;
    QAction* smRU = nullptr;
    QAction* smEN = nullptr;
    QMenu* BasicPopupMenu = nullptr;
    QMenu* DetailPopupMenu = nullptr;
    QMenu* smRecent = nullptr;
    THelpWindow* fHelp = nullptr;
    TScreenForm* fScreenForm = nullptr;

    // The editors open on the read that their command asked for.
    void connectCatalogues();
    TMatForm* MatForm = nullptr;
    TObjForm* ObjForm = nullptr;
    bool fMatWanted = false;
    bool fObjWanted = false;

    // Reports: the range of the last one, and the one preview window.
    int ReportFirstLine = 0;
    int ReportLinesTotal = 0;
    TReportPreviewForm* fReportPreview = nullptr;
    std::optional<TReportChoice> wholeTableReport();
    std::unique_ptr<TPreparedReport> prepareReport(const TReportChoice& choice);
};
