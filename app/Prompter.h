// Questions and file dialogs go through this interface, so that tests can answer them.
#pragma once

#include "i18n/Lang.h"

#include <QString>

class QWidget;

class IPrompter
{
public:
    virtual ~IPrompter() = default;
    // A Yes/No question; true for Yes.
    virtual bool ask(QWidget* parent, const QString& title, const QString& question) = 0;
    // The first-start language question.
    virtual TLang askLanguage(QWidget* parent) = 0;
    // File dialogs with the archive filter; an empty name when cancelled.
    virtual QString openFileName(QWidget* parent, const QString& dir) = 0;
    virtual QString saveFileName(QWidget* parent, const QString& dir) = 0;
    // An error that stops a command.
    virtual void error(QWidget* parent, const QString& title, const QString& text) = 0;
};

// The real dialogs.
class TDialogPrompter : public IPrompter
{
public:
    bool ask(QWidget* parent, const QString& title, const QString& question) override;
    TLang askLanguage(QWidget* parent) override;
    QString openFileName(QWidget* parent, const QString& dir) override;
    QString saveFileName(QWidget* parent, const QString& dir) override;
    void error(QWidget* parent, const QString& title, const QString& text) override;
};
