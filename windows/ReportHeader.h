// Parameters → "Report header…": the letterhead of the reports, an optional logo and up to
// three lines of text, kept in the settings file.
#pragma once

#include "app/Settings.h"
#include "i18n/Lang.h"
#include "reports/Letterhead.h"

#include <QDialog>

class IPrompter;
class QLabel;
class QLineEdit;
class QPushButton;
class QDialogButtonBox;

// The letterhead that the settings hold.
TLetterhead letterheadOf(const TGuiConfig& cfg);

class TReportHeaderForm : public QDialog
{
    Q_OBJECT
public:
    // `prompter` chooses the picture and reports a picture that cannot be read; it
    // outlives the window.
    TReportHeaderForm(IPrompter* prompter, QWidget* parent = nullptr);

    void ApplyLanguage(TLang Value);
    TLang CurLang = ruRU;

    // Shows what `cfg` holds; after Accept, `store` puts the edited letterhead back.
    void load(const TGuiConfig& cfg);
    void store(TGuiConfig& cfg) const;

    // The window's texts and the chosen logo, for tests.
    QLineEdit* lineEdit(int i) const { return fLines[i]; }
    const QByteArray& logoPng() const { return fLogoPng; }

public slots:
    void ButtonLogoClick();
    void ButtonNoLogoClick();

private:
    void showLogo();

    IPrompter* fPrompter;
    QByteArray fLogoPng;
    QLabel* fLogoLabel = nullptr;
    QLabel* fLogoView = nullptr;
    QLabel* fLineLabels[TLetterhead::kMaxLines] = {};
    QLineEdit* fLines[TLetterhead::kMaxLines] = {};
    QLabel* fHint = nullptr;
    QPushButton* ButtonLogo = nullptr;
    QPushButton* ButtonNoLogo = nullptr;
    QDialogButtonBox* fButtons = nullptr;
};
