#include "ScreenShots.h"

#include "app/Prompter.h"
#include "app/Settings.h"
#include "device/ScreenImage.h"
#include "i18n/Messages.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QDir>
#include <QGuiApplication>
#include <QImageWriter>
#include <QPainter>
#include <QPointer>
#include <QRegularExpression>
#include <QSaveFile>
#include <QScreen>
#include <QStatusBar>
#include <QStyle>
#include <QToolBar>
#include <QVBoxLayout>

// ---------------------------------------------------------------- file names

std::optional<int> ShotNumber(const QString& Name)
{
    const qsizetype us = Name.lastIndexOf(u'_');
    if (us < 0)
        return 0;
    const qsizetype dot = Name.indexOf(u'.', us + 1);
    const QString digits = Name.mid(us + 1, dot < 0 ? -1 : dot - us - 1);
    // Strictly a sign and decimal digits: no spaces, no hex, nothing after them.
    static const QRegularExpression decimal(QStringLiteral("^[+-]?[0-9]+$"));
    if (!decimal.match(digits).hasMatch())
        return std::nullopt;
    bool ok = false;
    const int n = digits.toInt(&ok, 10);
    if (!ok)
        return std::nullopt; // beyond the range of a number
    return n;
}

QString NextShotFileName(const QString& Folder)
{
    const QStringList names = QDir(Folder).entryList({QStringLiteral("ScreenShot_*")},
                                                     QDir::AllEntries | QDir::Hidden |
                                                         QDir::System | QDir::NoDotAndDotDot);
    std::optional<qint64> greatest;
    for (const QString& name : names) {
        // Names that carry no number are not shots of ours and do not count.
        if (const std::optional<int> n = ShotNumber(name))
            greatest = qMax(greatest.value_or(*n), qint64(*n));
    }
    // Numbers below 0 do not make the next one negative.
    const qint64 next = greatest ? qMax<qint64>(*greatest + 1, 0) : 0;
    return QStringLiteral("ScreenShot_%1.png").arg(next);
}

QString MakeShotFileName(bool counter, QString* error)
{
    const QString folder = ScreenShotFolder();
    if (!QDir().mkpath(folder) || !QFileInfo(folder).isDir()) {
        if (error)
            *error =
                QStringLiteral("Cannot create the folder %1").arg(QDir::toNativeSeparators(folder));
        return {};
    }
    const QString name = counter ? NextShotFileName(folder) : QStringLiteral("ScreenShot_0.png");
    return QDir(folder).filePath(name);
}

QString ShotStatusTail(const QString& path)
{
    const QString native = QDir::toNativeSeparators(path);
    const QChar sep = QDir::separator();
    qsizetype at = native.size();
    for (int i = 0; i < 5; ++i) {
        at = at > 0 ? native.lastIndexOf(sep, at - 1) : -1;
        if (at < 0)
            return native;
    }
    return native.mid(at);
}

int ScreenScale(const QSize& area)
{
    return qMax(1, qMin(area.width() / qelscreen::kWidth, area.height() / qelscreen::kHeight));
}

// ---------------------------------------------------------------- the picture view

// The display enlarged by a whole factor, pixel for pixel, centred.
class TScreenView : public QWidget
{
public:
    explicit TScreenView(QWidget* parent) : QWidget(parent)
    {
        setMinimumSize(qelscreen::kWidth, qelscreen::kHeight);
        setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    }
    void setPicture(const QImage& img)
    {
        fImg = img;
        update();
    }
    int scale() const { return ScreenScale(size()); }

protected:
    void paintEvent(QPaintEvent*) override
    {
        if (fImg.isNull())
            return;
        QPainter p(this);
        p.setRenderHint(QPainter::SmoothPixmapTransform, false);
        const QSize s = fImg.size() * scale();
        const QRect target(QPoint((width() - s.width()) / 2, (height() - s.height()) / 2), s);
        p.drawImage(target, fImg);
    }

private:
    QImage fImg;
};

// ---------------------------------------------------------------- the window

namespace {

struct TText
{
    const char* ru;
    const char* en;
};

QString pick(const TText& t, TLang lang)
{
    return QString::fromUtf8(lang == enUS ? t.en : t.ru);
}

constexpr TText kCaption{"Снимок экрана", "Screenshot"};
constexpr TText kExit{"Выход", "Exit"};
constexpr TText kUpd{"Обновить", "Refresh"};
constexpr TText kPause{"Остановить", "Pause"};
constexpr TText kSave{"Сохранить", "Save"};
constexpr TText kCopy{"Копировать в буфер обмена", "Copy to clipboard"};
constexpr TText kCounter{"Счётчик", "Counter"};
constexpr TText kCounterHint{"Автоматически увеличивать счетчик в имени файла",
                             "Automatically increment counter in file name"};

} // namespace

TScreenForm::TScreenForm(IPrompter* prompter, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowCloseButtonHint),
      fPrompter(prompter)
{
    setObjectName(QStringLiteral("ScreenForm"));
    setModal(true);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    sToolBar1 = new QToolBar(this);
    sToolBar1->setIconSize(QSize(24, 24));
    sToolBar1->setToolButtonStyle(Qt::ToolButtonIconOnly);
    QStyle* st = style();
    auto makeAction = [this](const QIcon& icon, void (TScreenForm::*handler)()) {
        auto* a = new QAction(icon, QString(), this);
        connect(a, &QAction::triggered, this, handler);
        return a;
    };
    ActionSave =
        makeAction(st->standardIcon(QStyle::SP_DialogSaveButton), &TScreenForm::ActionSaveExecute);
    ActionCopy = makeAction(QIcon::fromTheme(QStringLiteral("edit-copy"),
                                             st->standardIcon(QStyle::SP_FileDialogDetailedView)),
                            &TScreenForm::ActionCopyExecute);
    ActionPause =
        makeAction(st->standardIcon(QStyle::SP_MediaPause), &TScreenForm::ActionPauseExecute);
    ActionExit =
        makeAction(st->standardIcon(QStyle::SP_DialogCloseButton), &TScreenForm::ActionExitExecute);
    // Fired by the timer only; it has no button.
    ActionUpd =
        makeAction(st->standardIcon(QStyle::SP_BrowserReload), &TScreenForm::ActionUpdExecute);
    ActionUpd->setObjectName(QStringLiteral("ActionUpd"));
    ActionSave->setObjectName(QStringLiteral("ActionSave"));
    ActionCopy->setObjectName(QStringLiteral("ActionCopy"));
    ActionPause->setObjectName(QStringLiteral("ActionPause"));
    ActionExit->setObjectName(QStringLiteral("ActionExit"));
    sToolBar1->addActions({ActionSave, ActionCopy, ActionPause, ActionExit});
    auto* counterPanel = new QWidget(sToolBar1);
    auto* counterLayout = new QHBoxLayout(counterPanel);
    counterLayout->setContentsMargins(10, 0, 0, 0);
    CounterCheckBox = new QCheckBox(counterPanel);
    CounterCheckBox->setChecked(true);
    counterLayout->addWidget(CounterCheckBox);
    sToolBar1->addWidget(counterPanel);
    layout->addWidget(sToolBar1);

    Image1 = new TScreenView(this);
    layout->addWidget(Image1, 1);
    sStatusBar1 = new QStatusBar(this);
    sStatusBar1->setSizeGripEnabled(false);
    layout->addWidget(sStatusBar1);

    Timer1.setInterval(200);
    connect(&Timer1, &QTimer::timeout, this, &TScreenForm::Timer1Timer);

    setMinimumSize(220, 270);
    setMaximumSize(800, 600);
    // Large enough for twice the display where the desktop has the room.
    const QScreen* screen = QGuiApplication::primaryScreen();
    const bool roomy = screen && screen->availableGeometry().height() >= 700;
    resize(roomy ? QSize(441, 2 * qelscreen::kHeight + 70) : QSize(441, 290));
    fClock.start();
    ApplyLanguage(enUS); // brings the texts in; the window is designed in Russian
    ApplyLanguage(ruRU);
}

TScreenForm::~TScreenForm()
{
    finish();
}

void TScreenForm::ApplyLanguage(TLang Value)
{
    if (Value == CurLang && !windowTitle().isEmpty())
        return;
    setWindowTitle(pick(kCaption, Value));
    const QPair<QAction*, TText> actions[] = {{ActionSave, kSave},
                                              {ActionCopy, kCopy},
                                              {ActionPause, kPause},
                                              {ActionExit, kExit},
                                              {ActionUpd, kUpd}};
    for (const auto& [a, t] : actions) {
        a->setText(pick(t, Value));
        a->setToolTip(pick(t, Value));
    }
    CounterCheckBox->setText(pick(kCounter, Value));
    CounterCheckBox->setToolTip(pick(kCounterHint, Value));
    CurLang = Value;
}

void TScreenForm::begin()
{
    finish();
    const std::shared_ptr<IQel> dev = ActiveDevice;
    fDev = dev;
    fPacer = {};
    if (dev) {
        fOldCmdCallback = dev->GetComCallback();
        QPointer<TScreenForm> self(this);
        dev->SetComCallback([self](TOperationType op) {
            if (self)
                self->ScreenCmdComplete(op);
        });
        fOwnsCallback = true;
        // Any byte of the screen on its way shows that it is still coming.
        if (auto* obj = dynamic_cast<TQelBase*>(dev.get()))
            fHeard = connect(obj, &TQelBase::bytesReceived, this,
                             [this] { fPacer.heard(fClock.elapsed()); });
    }
    Timer1.start();
    setPauseImage(true);
}

void TScreenForm::finish()
{
    Timer1.stop();
    disconnect(fHeard);
    if (!fOwnsCallback)
        return;
    fOwnsCallback = false;
    fClosedComingAt = fPacer.onItsWay() ? fClock.elapsed() : -1;
    if (const std::shared_ptr<IQel> dev = fDev.lock())
        dev->SetComCallback(std::move(fOldCmdCallback));
    fOldCmdCallback = {};
    fDev.reset();
}

bool TScreenForm::takeLateScreen()
{
    // A whole screen takes well under this on the instrument's line.
    constexpr qint64 kLateMs = 3000;
    const bool late = fClosedComingAt >= 0 && fClock.elapsed() - fClosedComingAt < kLateMs;
    fClosedComingAt = -1;
    return late;
}

void TScreenForm::Execute()
{
    begin();
    exec();
    finish();
}

void TScreenForm::Open()
{
    begin();
    show();
}

void TScreenForm::done(int r)
{
    // Every way of closing comes here: Exit, the title bar, an event, the main window.
    finish();
    QDialog::done(r);
}

void TScreenForm::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    for (QAction* a : sToolBar1->actions())
        if (QWidget* w = sToolBar1->widgetForAction(a))
            w->setFixedHeight(32);
}

void TScreenForm::ScreenCmdComplete(TOperationType CMD)
{
    if (CMD == otScreenReady) {
        fPacer.arrived();
        if (const std::shared_ptr<IQel> dev = fDev.lock()) {
            dev->UpdateScreenImg(fPicture);
            fHasScreen = true;
            Image1->setPicture(fPicture);
            emit screenShown();
        }
        return;
    }
    const TCmdCompleteEvent old = fOldCmdCallback;
    Timer1.stop();
    reject();
    // A closed port is news to the owner of the workspace as well: it must learn that
    // the instrument is gone. Other events end here.
    if (CMD == otDevDisconnected && old)
        old(CMD);
}

void TScreenForm::Timer1Timer()
{
    ActionUpd->trigger();
}

void TScreenForm::ActionUpdExecute()
{
    const std::shared_ptr<IQel> dev = fDev.lock();
    if (!dev)
        return;
    const qint64 now = fClock.elapsed();
    if (!fPacer.mayRequest(now))
        return;
    fPacer.requested(now);
    dev->GetScreenShot();
}

void TScreenForm::ActionPauseExecute()
{
    if (Timer1.isActive())
        Timer1.stop();
    else
        Timer1.start();
    setPauseImage(Timer1.isActive());
}

void TScreenForm::setPauseImage(bool pause)
{
    fShowsPause = pause;
    ActionPause->setIcon(
        style()->standardIcon(pause ? QStyle::SP_MediaPause : QStyle::SP_MediaPlay));
}

void TScreenForm::ActionSaveExecute()
{
    if (!fHasScreen) {
        setStatus(Msg(msgNoScreenYet, CurLang));
        return;
    }
    QString error;
    const QString path = MakeShotFileName(CounterCheckBox->isChecked(), &error);
    if (!path.isEmpty()) {
        // Written whole or not at all: an old shot of that name stays until the new one is in.
        QSaveFile file(path);
        QImageWriter writer(&file, "png");
        if (!file.open(QIODevice::WriteOnly))
            error = file.errorString();
        else if (!writer.write(fPicture))
            error = writer.errorString();
        else if (!file.commit())
            error = file.errorString();
    }
    if (!error.isEmpty()) {
        if (fPrompter)
            fPrompter->error(this, windowTitle(), QDir::toNativeSeparators(path) + u'\n' + error);
        return;
    }
    setStatus(ShotStatusTail(path));
}

void TScreenForm::ActionCopyExecute()
{
    if (!fHasScreen) {
        setStatus(Msg(msgNoScreenYet, CurLang));
        return;
    }
    QGuiApplication::clipboard()->setImage(fPicture);
    setStatus(Msg(msgScreenCopied, CurLang));
}

void TScreenForm::ActionExitExecute()
{
    close();
}

void TScreenForm::setStatus(const QString& text)
{
    sStatusBar1->showMessage(text);
}

QString TScreenForm::statusText() const
{
    return sStatusBar1->currentMessage();
}

int TScreenForm::shownScale() const
{
    return Image1->scale();
}
