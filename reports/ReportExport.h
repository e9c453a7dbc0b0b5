// Exports of a paginated report.
#pragma once

#include <QString>

class TReportEngine;

// Paints every page at 300 dpi into a PDF on A4 in the layout's orientation, titled with
// the report's title. The file appears only when it is whole; false and `error` set when it
// cannot be written.
bool exportPdf(TReportEngine& engine, const QString& path, QString* error = nullptr);
