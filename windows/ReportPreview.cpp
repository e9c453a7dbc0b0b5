#include "ReportPreview.h"

#include "app/Prompter.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPrinter>
#include <QProgressDialog>
#include <QScrollBar>
#include <QSpinBox>
#include <QStatusBar>
#include <QStyle>
#include <QToolBar>
#include <QVBoxLayout>
#include <QWheelEvent>
#include <algorithm>

// ---------------------------------------------------------------- texts

namespace {

struct TText
{
    const char* ru;
    const char* en;
};

// In the order of TPreviewText.
constexpr TText kTexts[] = {
    {"Печать...", "Print..."},
    {"Параметры страницы...", "Page setup..."},
    {"Экспорт...", "Export..."},
    {"Увеличить", "Zoom in"},
    {"Уменьшить", "Zoom out"},
    {"Страница целиком", "Whole page"},
    {"По ширине страницы", "Page width"},
    {"100 %", "100 %"},
    {"Первая страница", "First page"},
    {"Предыдущая страница", "Previous page"},
    {"Следующая страница", "Next page"},
    {"Последняя страница", "Last page"},
    {"Найти", "Find"},
    {"Найти далее", "Find next"},
    {"Закрыть", "Close"},
    {"Страница %1 из %2", "Page %1 of %2"},
    {"из %1", "of %1"},
    {"Текст «%1» не найден", "Text \"%1\" not found"},
    {"Печать отчёта...", "Printing the report..."},
    {"Экспорт отчёта...", "Exporting the report..."},
    {"Поиск...", "Searching..."},
    {"Отмена", "Cancel"},
    {"Напечатано страниц: %1", "Pages printed: %1"},
    {"Печать отменена", "Printing cancelled"},
    {"Отчёт не напечатан", "The report was not printed"},
    {"Отчёт сохранён: %1", "Report exported: %1"},
    {"Экспорт отменён", "Export cancelled"},
    {"Отчёт не сохранён: ", "The report was not exported: "},
    {"Дождитесь окончания печати или экспорта", "Wait until printing or export ends"},
};
static_assert(std::size(kTexts) == ptCount_);

QIcon themed(const char* name, QStyle::StandardPixmap fallback)
{
    return QIcon::fromTheme(QString::fromLatin1(name),
                            QApplication::style()->standardIcon(fallback));
}

} // namespace

QString PreviewText(TPreviewText id, TLang lang)
{
    if (id < 0 || id >= ptCount_)
        return {};
    return QString::fromUtf8(lang == enUS ? kTexts[id].en : kTexts[id].ru);
}

// ---------------------------------------------------------------- progress

TWorkProgress::TWorkProgress(QWidget* parent, const QString& label, TLang lang) : QObject(parent)
{
    fDialog = new QProgressDialog(label, PreviewText(ptCancel, lang), 0, 1, parent);
    fDialog->setWindowTitle(parent ? parent->windowTitle() : QString());
    // While it runs no other command may change what is being written.
    fDialog->setWindowModality(Qt::ApplicationModal);
    fDialog->setAutoReset(false);
    fDialog->setAutoClose(false);
    fDialog->setMinimumDuration(300);
    fDialog->setValue(0);
}

TWorkProgress::~TWorkProgress()
{
    delete fDialog;
}

QProgressDialog* TWorkProgress::dialog() const
{
    return fDialog.data();
}

bool TWorkProgress::step(int done, int total)
{
    if (fDialog) {
        fDialog->setMaximum(std::max(1, total));
        fDialog->setValue(std::min(done, std::max(1, total)));
    }
    emit stepped(done, total);
    QCoreApplication::processEvents();
    if (!fDialog || fDialog->wasCanceled())
        fCancelled = true;
    return !fCancelled;
}

bool ExportWithProgress(TWorkProgress& work, TReportEngine& engine, const TExportTarget& target,
                        QString* error)
{
    return exportReport(engine, target.format, target.path, error,
                        [&work](int done, int total) { return work.step(done, total); });
}

QString ExportOutcomeText(bool written, bool cancelled, const TExportTarget& target,
                          const QString& error, TLang lang)
{
    if (written)
        return PreviewText(ptExported, lang).arg(QDir::toNativeSeparators(target.path));
    if (cancelled)
        return PreviewText(ptExportCancelled, lang);
    return PreviewText(ptExportFailed, lang) + error;
}

// ---------------------------------------------------------------- the page view

TReportPageView::TReportPageView(QWidget* parent) : QAbstractScrollArea(parent)
{
    setObjectName(QStringLiteral("PageView"));
    setFocusPolicy(Qt::StrongFocus);
    viewport()->setAutoFillBackground(false);
    verticalScrollBar()->setSingleStep(40);
    horizontalScrollBar()->setSingleStep(40);
}

void TReportPageView::setReport(TReportEngine* engine, TReportPreviewModel* model)
{
    fEngine = engine;
    fModel = model;
    fCache.clear();
    fCacheOrder.clear();
    fPainted = 0;
    fLastInView = -1;
    updateScrollBars();
    verticalScrollBar()->setValue(0);
    horizontalScrollBar()->setValue(0);
    viewport()->update();
}

double TReportPageView::screenDpi() const
{
    return logicalDpiY();
}

double TReportPageView::zoom() const
{
    return fModel ? fModel->zoomFactor(QSizeF(viewport()->size()), screenDpi()) : 1;
}

QSize TReportPageView::pageSizePx() const
{
    if (!fModel)
        return {};
    const QSizeF px = fModel->pageSizeMm() / 25.4 * screenDpi() * zoom();
    return QSize(std::max(1, qRound(px.width())), std::max(1, qRound(px.height())));
}

int TReportPageView::pageTop(int page) const
{
    return TReportPreviewModel::kPageGap +
           page * (pageSizePx().height() + TReportPreviewModel::kPageGap);
}

int TReportPageView::contentLeft() const
{
    const int w = pageSizePx().width();
    const int vw = viewport()->width();
    const int content = w + 2 * TReportPreviewModel::kPageGap;
    if (content <= vw)
        return (vw - w) / 2;
    return TReportPreviewModel::kPageGap - horizontalScrollBar()->value();
}

void TReportPageView::updateScrollBars()
{
    const int n = fModel ? fModel->pageCount() : 0;
    const QSize page = pageSizePx();
    const QSize vp = viewport()->size();
    const qint64 height =
        TReportPreviewModel::kPageGap + qint64(n) * (page.height() + TReportPreviewModel::kPageGap);
    const int width = page.width() + 2 * TReportPreviewModel::kPageGap;
    verticalScrollBar()->setPageStep(vp.height());
    verticalScrollBar()->setRange(0, int(std::clamp<qint64>(height - vp.height(), 0, INT_MAX)));
    horizontalScrollBar()->setPageStep(vp.width());
    horizontalScrollBar()->setRange(0, std::max(0, width - vp.width()));
}

void TReportPageView::zoomChanged()
{
    const int page = fModel ? fModel->currentPage() : 0;
    fAdjusting = true;
    updateScrollBars();
    fAdjusting = false;
    scrollToPage(page);
    viewport()->update();
}

void TReportPageView::scrollToPage(int page)
{
    fAdjusting = true;
    verticalScrollBar()->setValue(pageTop(page) - TReportPreviewModel::kPageGap);
    fAdjusting = false;
    viewport()->update();
    // The last pages cannot all come to the top: the page in view is the true one.
    fLastInView = pageInView();
    emit pageInViewChanged(fLastInView);
}

int TReportPageView::pageInView() const
{
    if (!fModel || fModel->pageCount() == 0)
        return 0;
    const int step = pageSizePx().height() + TReportPreviewModel::kPageGap;
    const int y = verticalScrollBar()->value() + viewport()->height() / 3;
    return std::clamp(y / std::max(1, step), 0, fModel->pageCount() - 1);
}

void TReportPageView::showMarked()
{
    if (!fModel || !fModel->marked())
        return;
    const TFindHit hit = *fModel->marked();
    const double k = screenDpi() * zoom() / 25.4;
    const QRect cell(qRound(hit.cell.rect.left() * k),
                     pageTop(hit.place.page) + qRound(hit.cell.rect.top() * k),
                     qRound(hit.cell.rect.width() * k), qRound(hit.cell.rect.height() * k));
    QScrollBar* v = verticalScrollBar();
    if (cell.top() < v->value() || cell.bottom() > v->value() + viewport()->height())
        v->setValue(cell.top() - viewport()->height() / 3);
    QScrollBar* h = horizontalScrollBar();
    const int x = cell.left() + TReportPreviewModel::kPageGap;
    if (x < h->value() || x + cell.width() > h->value() + viewport()->width())
        h->setValue(x - viewport()->width() / 3);
    fLastInView = pageInView();
    viewport()->update();
}

QImage TReportPageView::pageImage(int page)
{
    const double z = zoom();
    if (z != fCachedZoom) {
        fCache.clear();
        fCacheOrder.clear();
        fCachedZoom = z;
    }
    fCacheOrder.removeOne(page);
    fCacheOrder.append(page);
    if (const auto it = fCache.constFind(page); it != fCache.constEnd())
        return *it;
    // Painted at the screen's own pixels, so that text stays sharp on a dense screen.
    const double dpr = devicePixelRatioF();
    const QSize px = pageSizePx() * dpr;
    QImage img(px, QImage::Format_RGB32);
    const int dpm = qRound(screenDpi() * z * dpr / 0.0254);
    img.setDotsPerMeterX(dpm);
    img.setDotsPerMeterY(dpm);
    img.fill(Qt::white);
    {
        QPainter p(&img);
        p.setRenderHint(QPainter::Antialiasing);
        p.setRenderHint(QPainter::TextAntialiasing);
        fEngine->paintPage(p, page);
    }
    fCache.insert(page, img);
    while (fCacheOrder.size() > kCachedPages)
        fCache.remove(fCacheOrder.takeFirst());
    ++fPainted;
    emit pagePainted(page);
    return img;
}

void TReportPageView::paintEvent(QPaintEvent*)
{
    QPainter p(viewport());
    p.fillRect(viewport()->rect(), palette().color(QPalette::Dark));
    if (!fEngine || !fModel || fModel->pageCount() == 0)
        return;
    const QSize page = pageSizePx();
    const int y0 = verticalScrollBar()->value();
    const int left = contentLeft();
    const int step = page.height() + TReportPreviewModel::kPageGap;
    const int first = std::max(0, (y0 - TReportPreviewModel::kPageGap) / std::max(1, step));
    const std::optional<TFindHit> marked = fModel->marked();
    const double k = screenDpi() * zoom() / 25.4;
    for (int i = first; i < fModel->pageCount(); ++i) {
        const int top = pageTop(i) - y0;
        if (top >= viewport()->height())
            break;
        const QRect r(QPoint(left, top), page);
        p.fillRect(r.translated(3, 3), QColor(0, 0, 0, 60));
        p.drawImage(r, pageImage(i));
        if (marked && marked->place.page == i) {
            const QRectF& mm = marked->cell.rect;
            const QRectF cell(left + mm.left() * k, top + mm.top() * k, mm.width() * k,
                              mm.height() * k);
            p.fillRect(cell, QColor(255, 200, 0, 90));
            p.setPen(QPen(QColor(230, 120, 0), 2));
            p.drawRect(cell.adjusted(-1, -1, 1, 1));
        }
    }
}

void TReportPageView::resizeEvent(QResizeEvent* event)
{
    QAbstractScrollArea::resizeEvent(event);
    const int page = fModel ? fModel->currentPage() : 0;
    fAdjusting = true;
    updateScrollBars();
    fAdjusting = false;
    // A fitted zoom follows the window's size; the page in view stays.
    if (fModel && fModel->zoomMode() != TZoomMode::Factor)
        scrollToPage(page);
}

void TReportPageView::scrollContentsBy(int, int)
{
    viewport()->update();
    if (fAdjusting)
        return;
    const int page = pageInView();
    if (page != fLastInView) {
        fLastInView = page;
        emit pageInViewChanged(page);
    }
}

void TReportPageView::wheelEvent(QWheelEvent* event)
{
    if (event->modifiers() & Qt::ControlModifier) {
        const int delta = event->angleDelta().y();
        if (delta != 0)
            emit zoomWheel(delta > 0 ? 1 : -1);
        event->accept();
        return;
    }
    QAbstractScrollArea::wheelEvent(event);
}

// ---------------------------------------------------------------- the window

TReportPreviewForm::TReportPreviewForm(IPrompter* prompter, QWidget* parent)
    : QDialog(parent, Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowMinMaxButtonsHint | Qt::WindowCloseButtonHint),
      fPrompter(prompter)
{
    setObjectName(QStringLiteral("ReportPreviewForm"));
    setModal(false);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    fToolBar = new QToolBar(this);
    fToolBar->setIconSize(QSize(24, 24));
    layout->addWidget(fToolBar);
    fView = new TReportPageView(this);
    layout->addWidget(fView, 1);
    fStatusBar = new QStatusBar(this);
    fStatusBar->setSizeGripEnabled(true);
    layout->addWidget(fStatusBar);

    using S = QStyle;
    using F = TReportPreviewForm;
    QAction* print = makeAction(ptPrint, themed("document-print", S::SP_FileDialogDetailedView),
                                {QKeySequence::Print}, &F::ActionPrintExecute);
    QAction* setup =
        makeAction(ptPageSetup, themed("document-page-setup", S::SP_FileDialogInfoView), {},
                   &F::ActionPageSetupExecute);
    QAction* exportA = makeAction(ptExport, themed("document-export", S::SP_DialogSaveButton),
                                  {QKeySequence::SaveAs}, &F::ActionExportExecute);
    QAction* zoomIn = makeAction(ptZoomIn, themed("zoom-in", S::SP_ArrowUp),
                                 {QKeySequence::ZoomIn, QKeySequence(Qt::CTRL | Qt::Key_Equal)},
                                 &F::ActionZoomInExecute);
    QAction* zoomOut = makeAction(ptZoomOut, themed("zoom-out", S::SP_ArrowDown),
                                  {QKeySequence::ZoomOut}, &F::ActionZoomOutExecute);
    QAction* whole = makeAction(ptWholePage, themed("zoom-fit-best", S::SP_TitleBarMaxButton), {},
                                &F::ActionWholePageExecute);
    QAction* width = makeAction(ptPageWidth, themed("zoom-fit-width", S::SP_TitleBarShadeButton),
                                {}, &F::ActionPageWidthExecute);
    QAction* actual = makeAction(ptZoom100, themed("zoom-original", S::SP_TitleBarNormalButton),
                                 {QKeySequence(Qt::CTRL | Qt::Key_0)}, &F::ActionZoom100Execute);
    QAction* first = makeAction(ptFirst, themed("go-first", S::SP_MediaSkipBackward),
                                {QKeySequence(Qt::Key_Home), QKeySequence(Qt::CTRL | Qt::Key_Home)},
                                &F::ActionFirstExecute);
    QAction* prior = makeAction(ptPrior, themed("go-previous", S::SP_MediaSeekBackward),
                                {QKeySequence(Qt::Key_PageUp)}, &F::ActionPriorExecute);
    QAction* next = makeAction(ptNext, themed("go-next", S::SP_MediaSeekForward),
                               {QKeySequence(Qt::Key_PageDown)}, &F::ActionNextExecute);
    QAction* last = makeAction(ptLast, themed("go-last", S::SP_MediaSkipForward),
                               {QKeySequence(Qt::Key_End), QKeySequence(Qt::CTRL | Qt::Key_End)},
                               &F::ActionLastExecute);
    QAction* find = makeAction(ptFind, themed("edit-find", S::SP_FileDialogContentsView),
                               {QKeySequence::Find}, &F::ActionFindExecute);
    QAction* findNext = makeAction(ptFindNext, themed("go-down-search", S::SP_ArrowForward),
                                   {QKeySequence(Qt::Key_F3)}, &F::ActionFindNextExecute);
    QAction* closeA = makeAction(ptClose, themed("window-close", S::SP_DialogCloseButton), {},
                                 &F::ActionCloseExecute);
    fToolBar->addActions({print, setup, exportA});
    fToolBar->addSeparator();
    fToolBar->addActions({zoomIn, zoomOut, whole, width, actual});
    fToolBar->addSeparator();
    fToolBar->addActions({first, prior});
    fPageBox = new QSpinBox(fToolBar);
    fPageBox->setObjectName(QStringLiteral("PageBox"));
    fPageBox->setKeyboardTracking(false);
    fPageBox->setRange(1, 1);
    fPageBox->setMinimumWidth(70);
    fToolBar->addWidget(fPageBox);
    fPagesLabel = new QLabel(fToolBar);
    fPagesLabel->setContentsMargins(4, 0, 6, 0);
    fToolBar->addWidget(fPagesLabel);
    fToolBar->addActions({next, last});
    fToolBar->addSeparator();
    fFindBox = new QLineEdit(fToolBar);
    fFindBox->setObjectName(QStringLiteral("FindBox"));
    fFindBox->setClearButtonEnabled(true);
    fFindBox->setMaximumWidth(220);
    fToolBar->addWidget(fFindBox);
    // Find (Ctrl+F) only puts the focus into the box; its button is the box itself.
    Q_UNUSED(find);
    fToolBar->addAction(findNext);
    fToolBar->addSeparator();
    fToolBar->addAction(closeA);

    connect(fPageBox, &QSpinBox::valueChanged, this, [this](int v) { goToPage(v - 1); });
    connect(fFindBox, &QLineEdit::returnPressed, this, &F::ActionFindNextExecute);
    connect(fFindBox, &QLineEdit::textChanged, this, [this] {
        if (fModel && fModel->marked()) {
            fModel->clearMark();
            fView->viewport()->update();
        }
    });
    connect(fView, &TReportPageView::pageInViewChanged, this, [this](int page) {
        if (fModel) {
            fModel->setCurrentPage(page);
            showPageState();
        }
    });
    connect(fView, &TReportPageView::zoomWheel, this, [this](int steps) {
        if (steps > 0)
            ActionZoomInExecute();
        else
            ActionZoomOutExecute();
    });

    resize(900, 760);
    CurLang = enUS; // brings the texts in; the window is designed in Russian
    ApplyLanguage(ruRU);
}

TReportPreviewForm::~TReportPreviewForm() = default;

QAction* TReportPreviewForm::makeAction(TPreviewText text, const QIcon& icon,
                                        const QList<QKeySequence>& keys,
                                        void (TReportPreviewForm::*handler)())
{
    auto* a = new QAction(icon, QString(), this);
    static const char* names[] = {
        "ActionPrint",     "ActionPageSetup", "ActionExport",  "ActionZoomIn",   "ActionZoomOut",
        "ActionWholePage", "ActionPageWidth", "ActionZoom100", "ActionFirst",    "ActionPrior",
        "ActionNext",      "ActionLast",      "ActionFind",    "ActionFindNext", "ActionClose"};
    if (text < int(std::size(names)))
        a->setObjectName(QString::fromLatin1(names[text]));
    a->setShortcuts(keys);
    a->setShortcutContext(Qt::WindowShortcut);
    connect(a, &QAction::triggered, this, handler);
    addAction(a); // shortcuts work wherever the focus is in the window
    fActions.append({a, text});
    return a;
}

void TReportPreviewForm::ApplyLanguage(TLang Value)
{
    if (Value == CurLang)
        return;
    CurLang = Value;
    for (const auto& [a, t] : fActions) {
        const QString text = PreviewText(t, Value);
        a->setText(text);
        const QKeySequence key = a->shortcut();
        a->setToolTip(key.isEmpty() ? text
                                    : text + QStringLiteral(" (") +
                                          key.toString(QKeySequence::NativeText) + u')');
    }
    fFindBox->setPlaceholderText(PreviewText(ptFind, Value));
    showPageState();
}

bool TReportPreviewForm::Execute(std::unique_ptr<TPreparedReport> report)
{
    if (fBusy) {
        setStatus(PreviewText(ptBusy, CurLang));
        raise();
        return false;
    }
    fView->setReport(nullptr, nullptr);
    fModel.reset();
    fReport = std::move(report);
    fPrinterSetUp = false;
    if (!fReport)
        return false;
    fModel = std::make_unique<TReportPreviewModel>(fReport->engine());
    fView->setReport(&fReport->engine(), fModel.get());
    setWindowTitle(fReport->title());
    setStatus(QString());
    showPageState();
    show();
    raise();
    activateWindow();
    fView->setFocus();
    return true;
}

QString TReportPreviewForm::statusText() const
{
    return fStatusBar->currentMessage();
}

void TReportPreviewForm::setStatus(const QString& text)
{
    if (text.isEmpty() && fModel)
        fStatusBar->showMessage(
            PreviewText(ptPageOf, CurLang).arg(fModel->currentPage() + 1).arg(fModel->pageCount()));
    else
        fStatusBar->showMessage(text);
}

void TReportPreviewForm::showPageState()
{
    const int n = fModel ? fModel->pageCount() : 0;
    const int current = fModel ? fModel->currentPage() + 1 : 1;
    {
        const QSignalBlocker block(fPageBox);
        fPageBox->setRange(1, std::max(1, n));
        fPageBox->setValue(current);
    }
    fPagesLabel->setText(PreviewText(ptOfPages, CurLang).arg(n));
    if (fModel)
        fStatusBar->showMessage(PreviewText(ptPageOf, CurLang).arg(current).arg(n));
}

QProgressDialog* TReportPreviewForm::progressDialog() const
{
    return fWork ? fWork->dialog() : nullptr;
}

void TReportPreviewForm::goToPage(int page)
{
    if (!fModel)
        return;
    fModel->setCurrentPage(page);
    fModel->clearMark();
    fView->scrollToPage(fModel->currentPage());
    showPageState();
}

void TReportPreviewForm::ActionFirstExecute()
{
    goToPage(0);
}
void TReportPreviewForm::ActionPriorExecute()
{
    if (fModel)
        goToPage(fModel->currentPage() - 1);
}
void TReportPreviewForm::ActionNextExecute()
{
    if (fModel)
        goToPage(fModel->currentPage() + 1);
}
void TReportPreviewForm::ActionLastExecute()
{
    if (fModel)
        goToPage(fModel->pageCount() - 1);
}

void TReportPreviewForm::ActionZoomInExecute()
{
    if (!fModel)
        return;
    fModel->zoomIn(QSizeF(fView->viewport()->size()), fView->screenDpi());
    fView->zoomChanged();
}
void TReportPreviewForm::ActionZoomOutExecute()
{
    if (!fModel)
        return;
    fModel->zoomOut(QSizeF(fView->viewport()->size()), fView->screenDpi());
    fView->zoomChanged();
}
void TReportPreviewForm::ActionWholePageExecute()
{
    if (!fModel)
        return;
    fModel->setZoomMode(TZoomMode::WholePage);
    fView->zoomChanged();
}
void TReportPreviewForm::ActionPageWidthExecute()
{
    if (!fModel)
        return;
    fModel->setZoomMode(TZoomMode::PageWidth);
    fView->zoomChanged();
}
void TReportPreviewForm::ActionZoom100Execute()
{
    if (!fModel)
        return;
    fModel->setZoomFactor(1);
    fView->zoomChanged();
}

void TReportPreviewForm::ActionFindExecute()
{
    fFindBox->setFocus(Qt::ShortcutFocusReason);
    fFindBox->selectAll();
}

void TReportPreviewForm::ActionFindNextExecute()
{
    const QString text = fFindBox->text();
    if (!fModel || fBusy)
        return;
    if (text.isEmpty()) {
        ActionFindExecute();
        return;
    }
    // A search through many pages lets the events in now and then.
    fBusy = true;
    QElapsedTimer sinceEvents;
    sinceEvents.start();
    const std::optional<TFindHit> hit = fModel->findNext(text, [&](int) {
        if (sinceEvents.elapsed() >= 50) {
            fStatusBar->showMessage(PreviewText(ptSearching, CurLang));
            QCoreApplication::processEvents();
            sinceEvents.restart();
        }
        return isVisible();
    });
    fBusy = false;
    if (!hit) {
        fView->viewport()->update();
        setStatus(PreviewText(ptNotFound, CurLang).arg(text));
        return;
    }
    fView->scrollToPage(hit->place.page);
    fView->showMarked();
    showPageState();
}

void TReportPreviewForm::preparePrinter()
{
    if (!fPrinter)
        fPrinter = std::make_unique<QPrinter>(QPrinter::HighResolution);
    if (fPrinterSetUp || !fReport)
        return;
    // The paper of the layout, every millimetre of it ours: the layout has its margins.
    fPrinter->setFullPage(true);
    fPrinter->setPageLayout(QPageLayout(QPageSize(QPageSize::A4),
                                        fReport->engine().layout().orientation,
                                        QMarginsF(0, 0, 0, 0), QPageLayout::Millimeter));
    fPrinter->setDocName(fReport->title());
    fPrinterSetUp = true;
}

void TReportPreviewForm::ActionPrintExecute()
{
    if (!fReport || !fPrompter || fBusy)
        return;
    preparePrinter();
    if (fPrompter->printSetup(this, *fPrinter, fModel->pageCount()))
        printTo(*fPrinter);
}

void TReportPreviewForm::ActionPageSetupExecute()
{
    if (!fReport || !fPrompter || fBusy)
        return;
    preparePrinter();
    fPrompter->pageSetup(this, *fPrinter);
}

bool TReportPreviewForm::printTo(QPrinter& printer)
{
    if (!fReport || fBusy)
        return false;
    int from = 0;
    int to = fModel->pageCount() - 1;
    if (printer.printRange() == QPrinter::PageRange && printer.fromPage() > 0) {
        from = printer.fromPage() - 1;
        to = std::max(from, printer.toPage() - 1);
    } else if (printer.printRange() == QPrinter::CurrentPage) {
        from = to = fModel->currentPage();
    }
    fBusy = true;
    auto* work = new TWorkProgress(this, PreviewText(ptPrinting, CurLang), CurLang);
    fWork = work;
    connect(work, &TWorkProgress::stepped, this, &TReportPreviewForm::workProgress);
    int painted = 0;
    const bool ok = paintPages(
        fReport->engine(), printer, from, to,
        [work, &printer](int done, int total) {
            if (work->step(done, total))
                return true;
            // Ends the job while it is open, so that the printer drops what it has.
            printer.abort();
            return false;
        },
        &painted);
    const bool cancelled = work->cancelled();
    delete work;
    fBusy = false;
    // A file that was printed to holds no partial report.
    if (!ok && printer.outputFormat() == QPrinter::PdfFormat && !printer.outputFileName().isEmpty())
        QFile::remove(printer.outputFileName());
    if (ok) {
        setStatus(PreviewText(ptPrinted, CurLang).arg(painted));
    } else if (cancelled) {
        setStatus(PreviewText(ptPrintCancelled, CurLang));
    } else {
        setStatus(PreviewText(ptPrintFailed, CurLang));
        if (fPrompter)
            fPrompter->error(this, windowTitle(), PreviewText(ptPrintFailed, CurLang));
    }
    return ok;
}

void TReportPreviewForm::ActionExportExecute()
{
    if (!fReport || !fPrompter || fBusy)
        return;
    const std::optional<TExportTarget> target = fPrompter->exportFileName(
        this, exportSuggestedName(fReport->title(), TExportFormat::Pdf), CurLang);
    if (target)
        exportTo(*target);
}

bool TReportPreviewForm::exportTo(const TExportTarget& target)
{
    if (!fReport || fBusy)
        return false;
    fBusy = true;
    auto* work = new TWorkProgress(this, PreviewText(ptExporting, CurLang), CurLang);
    fWork = work;
    connect(work, &TWorkProgress::stepped, this, &TReportPreviewForm::workProgress);
    QString error;
    const bool ok = ExportWithProgress(*work, fReport->engine(), target, &error);
    const bool cancelled = work->cancelled();
    delete work;
    fBusy = false;
    const QString text = ExportOutcomeText(ok, cancelled, target, error, CurLang);
    setStatus(text);
    if (!ok && !cancelled && fPrompter)
        fPrompter->error(this, windowTitle(), text);
    return ok;
}

void TReportPreviewForm::closeEvent(QCloseEvent* event)
{
    // Running work is cancelled first; the window closes once it has stopped.
    if (fBusy) {
        if (QProgressDialog* d = progressDialog())
            d->cancel();
        event->ignore();
        return;
    }
    QDialog::closeEvent(event);
}

void TReportPreviewForm::keyPressEvent(QKeyEvent* event)
{
    // Escape closes the window, but not while work runs in it.
    if (event->key() == Qt::Key_Escape && fBusy)
        return;
    QDialog::keyPressEvent(event);
}
