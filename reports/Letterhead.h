// The letterhead: an optional logo and up to three lines of text (organisation, address,
// laboratory) at the top of the report title band. Without one a layout stays as it is.
#pragma once

#include "ReportLayout.h"

#include <QByteArray>
#include <QImage>
#include <QStringList>

struct TLetterhead
{
    static constexpr int kMaxLines = 3;
    QStringList lines; // blank lines are dropped; at most kMaxLines are used
    QImage logo;

    bool isEmpty() const;
};

// Height in mm the letterhead takes above the title, its gap included; 0 when empty.
double letterheadHeight(const TLetterhead& head);
// Puts the letterhead at the top of the layout's title band and moves the band's own objects
// down by its height. The lines are shown as typed: brackets in them are not fields.
void applyLetterhead(TReportLayout& layout, const TLetterhead& head);

// The logo as the settings file keeps it: PNG bytes, at most kLogoMaxPixels on its longer
// side so that the file stays small. Empty for a null image.
constexpr int kLogoMaxPixels = 600;
QByteArray logoToPng(const QImage& logo);
QImage logoFromPng(const QByteArray& png);
