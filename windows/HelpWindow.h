// The user guide in a window of the program's own, so that help never depends on another
// program being there to open HTML files.
#pragma once

#include "data/QelTypes.h"

#include <QWidget>

class QTextBrowser;

class THelpWindow : public QWidget
{
public:
    explicit THelpWindow(QWidget* parent = nullptr);
    // The guide's file in a language: Qel1Help.html (Russian) or Qel1EngHelp.html.
    static QString guideFileName(TLang lang);
    // Shows the guide of `lang` from `folder`; a file that is not there is said so in the
    // window, in that language.
    void showGuide(const QString& folder, TLang lang);
    QTextBrowser* browser() const { return fBrowser; }

private:
    QTextBrowser* fBrowser;
};
