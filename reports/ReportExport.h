// Exports of a paginated report. Every export writes through a temporary file, so a file
// appears only when it is whole; a failed or cancelled export leaves nothing behind.
#pragma once

#include "i18n/Lang.h"

#include <QString>
#include <QStringList>
#include <functional>
#include <optional>

class TReportEngine;

enum class TExportFormat
{
    Pdf,
    Html,
    Text,
    Bmp,
    Jpeg,
    Gif,
    Csv,
    Xlsx
};

// Called with the work done so far and the whole (pages or rows); returning false cancels.
using TExportProgress = std::function<bool(int done, int total)>;

// The format that a file name's extension names (case ignored; "jpeg" as "jpg", "htm" as
// "html"), or none.
std::optional<TExportFormat> exportFormatForPath(const QString& path);
// The usual extension of a format, without the dot.
QString exportExtension(TExportFormat format);

// Writes the report in `format` to `path`. Returns false with `error` set when it cannot be
// written or when `progress` cancels it.
bool exportReport(TReportEngine& engine, TExportFormat format, const QString& path,
                  QString* error = nullptr, const TExportProgress& progress = {});

// Paints every page at 300 dpi into a PDF on A4 in the layout's orientation, titled with
// the report's title.
bool exportPdf(TReportEngine& engine, const QString& path, QString* error = nullptr,
               const TExportProgress& progress = {});
