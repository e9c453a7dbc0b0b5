// The data feed of the report layouts: every text a layout shows comes through it, from the
// results table as shown and from the results' comments.
#pragma once

#include "data/QelTypes.h"
#include "i18n/Lang.h"

#include <QList>
#include <QString>
#include <QVariant>

class TStringGrid;

class TReportDataSet
{
public:
    // The grid and the results must outlive the data set.
    TReportDataSet(const TStringGrid& grid, const QList<TCalcQEL>& results, TLang lang);

    // The reported range: table row of the first result and the number of rows.
    int ReportFirstLine = 1;
    int ReportLinesTotal = 0;
    // The current record, counted from 0.
    int RecNo = 0;

    void frxUlmarDataSetFirst();
    void frxUlmarDataSetCheckEOF(bool& Eof) const;
    void frxUlmarDataSetGetValue(const QString& VarName, QVariant& Value) const;
    void next() { ++RecNo; }

    // The field's text at the current record.
    QString value(const QString& VarName) const;
    TLang lang() const { return fLang; }

private:
    const TStringGrid& fGrid;
    const QList<TCalcQEL>& fResults;
    TLang fLang;
    int fRangeEndCount = 0;
};
