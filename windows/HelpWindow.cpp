#include "HelpWindow.h"

#include "i18n/Messages.h"

#include <QDir>
#include <QFileInfo>
#include <QTextBrowser>
#include <QUrl>
#include <QVBoxLayout>

THelpWindow::THelpWindow(QWidget* parent) : QWidget(parent, Qt::Window)
{
    setObjectName(QStringLiteral("HelpWindow"));
    setWindowTitle(QStringLiteral("QEL-1.Connect"));
    resize(800, 600);
    fBrowser = new QTextBrowser;
    fBrowser->setObjectName(QStringLiteral("HelpBrowser"));
    fBrowser->setOpenExternalLinks(true);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(fBrowser);
}

QString THelpWindow::guideFileName(TLang lang)
{
    return lang == enUS ? QStringLiteral("Qel1EngHelp.html") : QStringLiteral("Qel1Help.html");
}

void THelpWindow::showGuide(const QString& folder, TLang lang)
{
    const QString path = QDir(folder).filePath(guideFileName(lang));
    if (QFileInfo(path).isFile()) {
        fBrowser->setSource(QUrl::fromLocalFile(path));
    } else {
        fBrowser->setSource(QUrl());
        fBrowser->setPlainText(Msg(msgHelpMissing, lang) + QDir::toNativeSeparators(path));
    }
    show();
    raise();
    activateWindow();
}
