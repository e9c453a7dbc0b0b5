// Questions and file dialogs go through this interface, so that tests can answer them.
#pragma once

#include "FileCommands.h"
#include "i18n/Lang.h"
#include "reports/ReportPreview.h"

#include <QString>
#include <QStringList>
#include <optional>

class QPrinter;
class QWidget;

class IPrompter
{
public:
    virtual ~IPrompter() = default;
    // A Yes/No question; true for Yes.
    virtual bool ask(QWidget* parent, const QString& title, const QString& question) = 0;
    // Save, Discard or Cancel for results not in a file.
    virtual TSaveChoice askSaveChanges(QWidget* parent, const QString& title,
                                       const QString& question) = 0;
    // The first-start language question.
    virtual TLang askLanguage(QWidget* parent) = 0;
    // File dialogs with the archive filter, showing `name`: the open dialog takes one or
    // more existing files, the save dialog a name whose folder exists and never asks
    // about overwriting. Empty when cancelled.
    virtual QStringList openFileNames(QWidget* parent, const QString& name) = 0;
    virtual QString saveFileName(QWidget* parent, const QString& name) = 0;
    // An error that stops a command.
    virtual void error(QWidget* parent, const QString& title, const QString& text) = 0;
    // A catalogue file ("*.json") to save into or to load; empty when cancelled.
    virtual QString catalogueFileName(QWidget* parent, bool save)
    {
        Q_UNUSED(parent);
        Q_UNUSED(save);
        return {};
    }
    // A picture to open (the report header's logo); empty when cancelled.
    virtual QString pictureFileName(QWidget* parent)
    {
        Q_UNUSED(parent);
        return {};
    }
    // The print dialog and the page setup dialog over `printer`; false when cancelled.
    virtual bool printSetup(QWidget* parent, QPrinter& printer, int pageCount)
    {
        Q_UNUSED(parent);
        Q_UNUSED(printer);
        Q_UNUSED(pageCount);
        return false;
    }
    virtual bool pageSetup(QWidget* parent, QPrinter& printer)
    {
        Q_UNUSED(parent);
        Q_UNUSED(printer);
        return false;
    }
    // A file to export a report to, in one of the eight formats, showing `name`; none
    // when cancelled.
    virtual std::optional<TExportTarget> exportFileName(QWidget* parent, const QString& name,
                                                        TLang lang)
    {
        Q_UNUSED(parent);
        Q_UNUSED(name);
        Q_UNUSED(lang);
        return std::nullopt;
    }
};

// The real dialogs.
class TDialogPrompter : public IPrompter
{
public:
    bool ask(QWidget* parent, const QString& title, const QString& question) override;
    TSaveChoice askSaveChanges(QWidget* parent, const QString& title,
                               const QString& question) override;
    TLang askLanguage(QWidget* parent) override;
    QStringList openFileNames(QWidget* parent, const QString& name) override;
    QString saveFileName(QWidget* parent, const QString& name) override;
    void error(QWidget* parent, const QString& title, const QString& text) override;
    QString catalogueFileName(QWidget* parent, bool save) override;
    QString pictureFileName(QWidget* parent) override;
    bool printSetup(QWidget* parent, QPrinter& printer, int pageCount) override;
    bool pageSetup(QWidget* parent, QPrinter& printer) override;
    std::optional<TExportTarget> exportFileName(QWidget* parent, const QString& name,
                                                TLang lang) override;
};
