#include "LangForm.h"

#include <QGuiApplication>
#include <QRadioButton>
#include <QScreen>
#include <QVBoxLayout>

TLanguageForm::TLanguageForm(QWidget* parent)
    : QDialog(parent,
              Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint)
{
    setWindowTitle(QStringLiteral("Язык/Language"));

    sRadioButton1 = new QRadioButton(QStringLiteral("Русский"), this);
    sRadioButton1->setObjectName(QStringLiteral("sRadioButton1"));
    sRadioButton2 = new QRadioButton(QStringLiteral("English"), this);
    sRadioButton2->setObjectName(QStringLiteral("sRadioButton2"));
    // Neither is checked, so that either click is a choice.
    sRadioButton1->setChecked(false);
    sRadioButton2->setChecked(false);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(8, 8, 8, 8);
    layout->setSpacing(6);
    layout->addWidget(sRadioButton1);
    layout->addWidget(sRadioButton2);

    connect(sRadioButton1, &QRadioButton::clicked, this, &TLanguageForm::sRadioButton1Click);
    connect(sRadioButton2, &QRadioButton::clicked, this, &TLanguageForm::sRadioButton1Click);

    // Small and fixed, but never smaller than the texts in the platform's font.
    setFixedSize(sizeHint().expandedTo(QSize(130, 56)));

    // The screen's centre, not the owner's: the main window may not be placed yet.
    QScreen* screen = parent ? parent->screen() : QGuiApplication::primaryScreen();
    if (screen) {
        QRect frame = rect();
        frame.moveCenter(screen->availableGeometry().center());
        move(frame.topLeft());
    }
}

void TLanguageForm::sRadioButton1Click()
{
    Lang = sRadioButton2->isChecked() ? 1 : 0;
    accept();
}
