#include "Prompter.h"

#include "windows/LangForm.h"

#include <QFileDialog>
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

QString TDialogPrompter::openFileName(QWidget* parent, const QString& dir)
{
    return QFileDialog::getOpenFileName(parent, QString(), dir, kArchiveFilter);
}

QString TDialogPrompter::saveFileName(QWidget* parent, const QString& dir)
{
    // The overwrite question is the program's own.
    return QFileDialog::getSaveFileName(parent, QString(), dir, kArchiveFilter, nullptr,
                                        QFileDialog::DontConfirmOverwrite);
}

void TDialogPrompter::error(QWidget* parent, const QString& title, const QString& text)
{
    QMessageBox::critical(parent, title, text);
}
