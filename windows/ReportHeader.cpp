#include "ReportHeader.h"

#include "app/Prompter.h"

#include <QDialogButtonBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QImageReader>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

struct TCaption
{
    const char* ru;
    const char* en;
};

QString pick(const TCaption& c, TLang lang)
{
    return QString::fromUtf8(lang == enUS ? c.en : c.ru);
}

const TCaption kTitle{"Заголовок отчета", "Report header"};
const TCaption kLogo{"Логотип:", "Logo:"};
const TCaption kChoose{"Выбрать...", "Choose..."};
const TCaption kRemove{"Убрать", "Remove"};
const TCaption kNoLogo{"(нет)", "(none)"};
const TCaption kLineCaptions[TLetterhead::kMaxLines] = {
    {"Организация:", "Organisation:"}, {"Адрес:", "Address:"}, {"Лаборатория:", "Laboratory:"}};
const TCaption kHint{"Печатается вверху первой страницы каждого отчета.",
                     "Printed at the top of the first page of every report."};
const TCaption kBadPicture{"Рисунок не читается: ", "The picture cannot be read: "};

constexpr int kMaxLineLength = 120;
const QSize kLogoView(160, 60);

} // namespace

TLetterhead letterheadOf(const TGuiConfig& cfg)
{
    return TLetterhead{cfg.ReportHeaderLines, logoFromPng(cfg.ReportHeaderLogo)};
}

TReportHeaderForm::TReportHeaderForm(IPrompter* prompter, QWidget* parent)
    : QDialog(parent), fPrompter(prompter)
{
    setObjectName(QStringLiteral("TReportHeaderForm"));
    auto* grid = new QGridLayout;
    fLogoLabel = new QLabel(this);
    fLogoView = new QLabel(this);
    fLogoView->setObjectName(QStringLiteral("LogoView"));
    fLogoView->setFixedSize(kLogoView);
    fLogoView->setFrameShape(QFrame::StyledPanel);
    fLogoView->setAlignment(Qt::AlignCenter);
    ButtonLogo = new QPushButton(this);
    ButtonLogo->setObjectName(QStringLiteral("ButtonLogo"));
    ButtonNoLogo = new QPushButton(this);
    ButtonNoLogo->setObjectName(QStringLiteral("ButtonNoLogo"));
    connect(ButtonLogo, &QPushButton::clicked, this, &TReportHeaderForm::ButtonLogoClick);
    connect(ButtonNoLogo, &QPushButton::clicked, this, &TReportHeaderForm::ButtonNoLogoClick);
    auto* logoButtons = new QVBoxLayout;
    logoButtons->addWidget(ButtonLogo);
    logoButtons->addWidget(ButtonNoLogo);
    logoButtons->addStretch();
    auto* logoRow = new QHBoxLayout;
    logoRow->addWidget(fLogoView);
    logoRow->addLayout(logoButtons);
    grid->addWidget(fLogoLabel, 0, 0, Qt::AlignTop);
    grid->addLayout(logoRow, 0, 1);
    for (int i = 0; i < TLetterhead::kMaxLines; ++i) {
        fLineLabels[i] = new QLabel(this);
        fLines[i] = new QLineEdit(this);
        fLines[i]->setObjectName(QStringLiteral("EditLine%1").arg(i + 1));
        fLines[i]->setMaxLength(kMaxLineLength);
        fLines[i]->setMinimumWidth(320);
        fLineLabels[i]->setBuddy(fLines[i]);
        grid->addWidget(fLineLabels[i], i + 1, 0);
        grid->addWidget(fLines[i], i + 1, 1);
    }
    fHint = new QLabel(this);
    fHint->setWordWrap(true);
    fButtons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(fButtons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(fButtons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addWidget(fHint);
    layout->addWidget(fButtons);
    ApplyLanguage(ruRU);
}

void TReportHeaderForm::ApplyLanguage(TLang Value)
{
    CurLang = Value;
    setWindowTitle(pick(kTitle, Value));
    fLogoLabel->setText(pick(kLogo, Value));
    ButtonLogo->setText(pick(kChoose, Value));
    ButtonNoLogo->setText(pick(kRemove, Value));
    for (int i = 0; i < TLetterhead::kMaxLines; ++i)
        fLineLabels[i]->setText(pick(kLineCaptions[i], Value));
    fHint->setText(pick(kHint, Value));
    showLogo();
}

void TReportHeaderForm::load(const TGuiConfig& cfg)
{
    for (int i = 0; i < TLetterhead::kMaxLines; ++i)
        fLines[i]->setText(cfg.ReportHeaderLines.value(i));
    fLogoPng = logoFromPng(cfg.ReportHeaderLogo).isNull() ? QByteArray() : cfg.ReportHeaderLogo;
    showLogo();
}

void TReportHeaderForm::store(TGuiConfig& cfg) const
{
    cfg.ReportHeaderLines.clear();
    for (QLineEdit* e : fLines)
        cfg.ReportHeaderLines.append(e->text().trimmed());
    while (!cfg.ReportHeaderLines.isEmpty() && cfg.ReportHeaderLines.last().isEmpty())
        cfg.ReportHeaderLines.removeLast();
    cfg.ReportHeaderLogo = fLogoPng;
}

void TReportHeaderForm::ButtonLogoClick()
{
    const QString file = fPrompter->pictureFileName(this);
    if (file.isEmpty())
        return;
    QImageReader reader(file);
    reader.setAutoTransform(true);
    const QImage img = reader.read();
    if (img.isNull()) {
        fPrompter->error(this, windowTitle(),
                         pick(kBadPicture, CurLang) + file + QStringLiteral(" (") +
                             reader.errorString() + QLatin1Char(')'));
        return;
    }
    fLogoPng = logoToPng(img);
    showLogo();
}

void TReportHeaderForm::ButtonNoLogoClick()
{
    fLogoPng.clear();
    showLogo();
}

void TReportHeaderForm::showLogo()
{
    const QImage img = logoFromPng(fLogoPng);
    ButtonNoLogo->setEnabled(!img.isNull());
    if (img.isNull()) {
        fLogoView->setPixmap({});
        fLogoView->setText(pick(kNoLogo, CurLang));
        return;
    }
    fLogoView->setPixmap(QPixmap::fromImage(
        img.scaled(kLogoView - QSize(4, 4), Qt::KeepAspectRatio, Qt::SmoothTransformation)));
}
