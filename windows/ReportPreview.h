// The report preview window: pages shown as they come into view, print, page setup,
// export, zoom, page navigation and find. Only the pages in view are painted, so a report
// of a thousand pages opens at once.
#pragma once

#include "i18n/Lang.h"
#include "reports/ReportPreview.h"

#include <QAbstractScrollArea>
#include <QDialog>
#include <QHash>
#include <QImage>
#include <QList>
#include <QPointer>
#include <memory>

class QAction;
class QLabel;
class QLineEdit;
class QPrinter;
class QProgressDialog;
class QSpinBox;
class QStatusBar;
class QToolBar;
class IPrompter;

// The window's texts, Russian and English.
enum TPreviewText
{
    ptPrint,
    ptPageSetup,
    ptExport,
    ptZoomIn,
    ptZoomOut,
    ptWholePage,
    ptPageWidth,
    ptZoom100,
    ptFirst,
    ptPrior,
    ptNext,
    ptLast,
    ptFind,
    ptFindNext,
    ptClose,
    ptPageOf,   // %1 of %2
    ptOfPages,  // the label after the page box: %1 pages
    ptNotFound, // %1: the text
    ptPrinting,
    ptExporting,
    ptSearching,
    ptCancel,
    ptPrinted, // %1: pages
    ptPrintCancelled,
    ptPrintFailed,
    ptExported, // %1: the file
    ptExportCancelled,
    ptExportFailed, // followed by the reason
    ptBusy,
    ptCount_
};
QString PreviewText(TPreviewText id, TLang lang);

// Long work on the window's thread: a progress dialog with Cancel that keeps every window
// answering between steps.
class TWorkProgress : public QObject
{
    Q_OBJECT
public:
    TWorkProgress(QWidget* parent, const QString& label, TLang lang);
    ~TWorkProgress() override;
    // Shows `done` of `total`, lets the events in, and says whether to go on.
    bool step(int done, int total);
    bool cancelled() const { return fCancelled; }
    QProgressDialog* dialog() const;

signals:
    void stepped(int done, int total);

private:
    QPointer<QProgressDialog> fDialog;
    bool fCancelled = false;
};

// Writes `engine` to `target`, its steps shown by `work`. True when written; otherwise
// work.cancelled() tells a cancel from a failure, whose reason is in `error`.
bool ExportWithProgress(TWorkProgress& work, TReportEngine& engine, const TExportTarget& target,
                        QString* error);
// The status text of a finished export, or the error box's text of a failed one.
QString ExportOutcomeText(bool written, bool cancelled, const TExportTarget& target,
                          const QString& error, TLang lang);

// The pages one below the other, centred, each painted when it comes into view and kept
// for a few pages more.
class TReportPageView : public QAbstractScrollArea
{
    Q_OBJECT
public:
    static constexpr int kCachedPages = 8;

    explicit TReportPageView(QWidget* parent = nullptr);
    void setReport(TReportEngine* engine, TReportPreviewModel* model);

    double zoom() const; // the factor in force for the viewport
    double screenDpi() const;
    QSize pageSizePx() const;
    int pageTop(int page) const; // in content pixels
    // Scrolls to put `page`'s top at the view's top.
    void scrollToPage(int page);
    // Scrolls so that the cell marked on the current page is in view.
    void showMarked();
    // The page under the view's upper third.
    int pageInView() const;
    // Pages painted since the report was set: the view never paints pages it does not show.
    int paintedPages() const { return fPainted; }
    void zoomChanged();

signals:
    void pageInViewChanged(int page);
    void pagePainted(int page);
    void zoomWheel(int steps); // Ctrl with the wheel

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;
    void wheelEvent(QWheelEvent* event) override;

private:
    void updateScrollBars();
    QImage pageImage(int page);
    int contentLeft() const;

    TReportEngine* fEngine = nullptr;
    TReportPreviewModel* fModel = nullptr;
    QHash<int, QImage> fCache;
    QList<int> fCacheOrder; // least recently used first
    double fCachedZoom = 0;
    int fPainted = 0;
    int fLastInView = -1;
    bool fAdjusting = false; // scroll bar changes that are no move of the user's
};

class TReportPreviewForm : public QDialog
{
    Q_OBJECT
public:
    // `prompter` asks for the printer and the export file and shows errors; it stays the
    // caller's.
    explicit TReportPreviewForm(IPrompter* prompter, QWidget* parent = nullptr);
    ~TReportPreviewForm() override;

    // Shows `report`, in place of the one shown, and brings the window up. False, with the
    // report dropped, while a print or an export is running.
    bool Execute(std::unique_ptr<TPreparedReport> report);
    void ApplyLanguage(TLang Value);

    void ActionPrintExecute();
    void ActionPageSetupExecute();
    void ActionExportExecute();
    void ActionZoomInExecute();
    void ActionZoomOutExecute();
    void ActionWholePageExecute();
    void ActionPageWidthExecute();
    void ActionZoom100Execute();
    void ActionFirstExecute();
    void ActionPriorExecute();
    void ActionNextExecute();
    void ActionLastExecute();
    void ActionFindExecute();
    void ActionFindNextExecute();
    void ActionCloseExecute() { close(); }

    // The seams of the commands: print onto `printer` as it is set up, export to `target`.
    bool printTo(QPrinter& printer);
    bool exportTo(const TExportTarget& target);

    // For tests and the main window.
    TPreparedReport* report() const { return fReport.get(); }
    TReportPreviewModel* model() const { return fModel.get(); }
    TReportPageView* pageView() const { return fView; }
    QSpinBox* pageBox() const { return fPageBox; }
    QLineEdit* findBox() const { return fFindBox; }
    QString statusText() const;
    bool busy() const { return fBusy; }
    // The progress of the work running now; null when none runs.
    QProgressDialog* progressDialog() const;
    TLang lang() const { return CurLang; }

signals:
    // A step of a print or an export: `done` of `total` pages or rows.
    void workProgress(int done, int total);

protected:
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void goToPage(int page);
    void showPageState();
    void setStatus(const QString& text);
    void preparePrinter();
    QAction* makeAction(TPreviewText text, const QIcon& icon, const QList<QKeySequence>& keys,
                        void (TReportPreviewForm::*handler)());

    IPrompter* fPrompter;
    TLang CurLang = ruRU;
    std::unique_ptr<TPreparedReport> fReport;
    std::unique_ptr<TReportPreviewModel> fModel;
    std::unique_ptr<QPrinter> fPrinter; // made on the first print: it asks the print system
    bool fPrinterSetUp = false;         // for the report shown
    bool fBusy = false;
    QPointer<TWorkProgress> fWork;

    QToolBar* fToolBar = nullptr;
    TReportPageView* fView = nullptr;
    QSpinBox* fPageBox = nullptr;
    QLabel* fPagesLabel = nullptr;
    QLineEdit* fFindBox = nullptr;
    QStatusBar* fStatusBar = nullptr;
    QList<QPair<QAction*, TPreviewText>> fActions;
};
