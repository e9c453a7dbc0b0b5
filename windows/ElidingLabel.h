// A one-line label that shortens a text too long for it with "…" and shows the whole text
// as its tool tip.
#pragma once

#include <QLabel>

class TElidingLabel : public QLabel
{
public:
    using QLabel::QLabel;
    void setFullText(const QString& text);
    QString fullText() const { return fFull; }

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void elide();
    QString fFull;
};
