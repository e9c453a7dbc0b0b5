#include "ElidingLabel.h"

#include <QFontMetrics>

void TElidingLabel::setFullText(const QString& text)
{
    fFull = text;
    elide();
}

void TElidingLabel::resizeEvent(QResizeEvent* event)
{
    QLabel::resizeEvent(event);
    elide();
}

void TElidingLabel::elide()
{
    const int room = contentsRect().width();
    const QString shown = fontMetrics().elidedText(fFull, Qt::ElideRight, room);
    setText(shown);
    setToolTip(shown == fFull ? QString() : fFull);
}
