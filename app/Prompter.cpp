#include "Prompter.h"

#include "windows/LangForm.h"

#include <QFileDialog>
#include <QImageReader>
#include <QMessageBox>

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
