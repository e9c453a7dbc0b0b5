// The first-start question of the language, before any setting exists. Its texts are the
// same in both languages.
#pragma once

#include <QDialog>

class QRadioButton;

class TLanguageForm : public QDialog
{
    Q_OBJECT
public:
    explicit TLanguageForm(QWidget* parent = nullptr);

    // The chosen language: 0 Russian, 1 English. Closing without a choice leaves Russian.
    int Lang = 0;

private:
    void sRadioButton1Click();

    QRadioButton* sRadioButton1 = nullptr;
    QRadioButton* sRadioButton2 = nullptr;
};
