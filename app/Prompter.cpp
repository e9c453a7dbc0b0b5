#include "Prompter.h"

#include "windows/LangForm.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QImageReader>
#include <QMessageBox>
#include <QPageSetupDialog>
#include <QPrintDialog>
#include <QPrinter>
#include <QStandardPaths>

namespace {
const QString kArchiveFilter = QStringLiteral("QEL-1.x File (*.qel1x)");
}

bool TDialogPrompter::ask(QWidget* parent, const QString& title, const QString& question)
{
    return QMessageBox::question(parent, title, question, QMessageBox::Yes | QMessageBox::No,
                                 QMessageBox::Yes) == QMessageBox::Yes;
}

TLang TDialogPrompter::askLanguage(QWidget* parent)
{
    TLanguageForm form(parent);
    form.exec();
    return LangFromInt(form.Lang);
}

TSaveChoice TDialogPrompter::askSaveChanges(QWidget* parent, const QString& title,
                                            const QString& question)
{
    switch (QMessageBox::question(parent, title, question,
                                  QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel,
                                  QMessageBox::Save)) {
    case QMessageBox::Save:
        return TSaveChoice::Save;
    case QMessageBox::Discard:
        return TSaveChoice::Discard;
    default:
        return TSaveChoice::Cancel; // the box closed by Escape or its close button too
    }
}

QStringList TDialogPrompter::openFileNames(QWidget* parent, const QString& name)
{
    // The file dialogs of Qt demand existing files on open and an existing folder on save.
    return QFileDialog::getOpenFileNames(parent, QString(), name, kArchiveFilter);
}

QString TDialogPrompter::saveFileName(QWidget* parent, const QString& name)
{
    // No default suffix: a name without one gets it from the window, which also asks
    // about overwriting.
    return QFileDialog::getSaveFileName(parent, QString(), name, kArchiveFilter, nullptr,
                                        QFileDialog::DontConfirmOverwrite);
}

void TDialogPrompter::error(QWidget* parent, const QString& title, const QString& text)
{
    QMessageBox::critical(parent, title, text);
}

QString TDialogPrompter::catalogueFileName(QWidget* parent, bool save)
{
    const QString filter = QStringLiteral("Catalogue (*.json)");
    if (!save)
        return QFileDialog::getOpenFileName(parent, QString(), QString(), filter);
    QFileDialog d(parent, QString(), QString(), filter);
    d.setAcceptMode(QFileDialog::AcceptSave);
    d.setDefaultSuffix(QStringLiteral("json"));
    return d.exec() == QDialog::Accepted ? d.selectedFiles().value(0) : QString();
}

QString TDialogPrompter::pictureFileName(QWidget* parent)
{
    QStringList patterns;
    for (const QByteArray& f : QImageReader::supportedImageFormats())
        patterns.append(QStringLiteral("*.") + QString::fromLatin1(f));
    return QFileDialog::getOpenFileName(
        parent, QString(), QString(),
        QStringLiteral("Pictures (%1)").arg(patterns.join(QLatin1Char(' '))));
}

bool TDialogPrompter::printSetup(QWidget* parent, QPrinter& printer, int pageCount)
{
    QPrintDialog d(&printer, parent);
    d.setMinMax(1, qMax(1, pageCount));
    d.setOption(QAbstractPrintDialog::PrintPageRange);
    d.setOption(QAbstractPrintDialog::PrintCurrentPage);
    d.setOption(QAbstractPrintDialog::PrintToFile);
    return d.exec() == QDialog::Accepted;
}

bool TDialogPrompter::pageSetup(QWidget* parent, QPrinter& printer)
{
    QPageSetupDialog d(&printer, parent);
    return d.exec() == QDialog::Accepted;
}

std::optional<TExportTarget> TDialogPrompter::exportFileName(QWidget* parent, const QString& name,
                                                             TLang lang)
{
    // The folder of the last export, the documents folder at first.
    static QString folder = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    QStringList filters;
    const QList<TExportFormat> formats = exportFormats();
    for (const TExportFormat f : formats)
        filters.append(exportFilter(f));
    QFileDialog d(parent, lang == enUS ? QStringLiteral("Export") : QStringLiteral("Экспорт"),
                  folder, filters.join(QStringLiteral(";;")));
    d.setAcceptMode(QFileDialog::AcceptSave);
    d.selectFile(name);
    // The dialog adds the chosen format's extension itself, so that it asks about
    // overwriting the file that is really written.
    const auto suffixFor = [&](const QString& filter) {
        d.setDefaultSuffix(
            exportExtension(formats.value(qMax<qsizetype>(0, filters.indexOf(filter)))));
    };
    QObject::connect(&d, &QFileDialog::filterSelected, &d, suffixFor);
    const TExportFormat initial = exportFormatForPath(name).value_or(TExportFormat::Pdf);
    d.selectNameFilter(exportFilter(initial));
    suffixFor(exportFilter(initial));
    if (d.exec() != QDialog::Accepted || d.selectedFiles().isEmpty())
        return std::nullopt;
    const QString path = d.selectedFiles().first();
    folder = QFileInfo(path).absolutePath();
    const qsizetype chosen = filters.indexOf(d.selectedNameFilter());
    return exportTargetFor(path, formats.value(qMax<qsizetype>(0, chosen)));
}
