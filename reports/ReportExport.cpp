#include "ReportExport.h"

#include "ReportEngine.h"

#include <QPageLayout>
#include <QPainter>
#include <QPdfWriter>
#include <QSaveFile>

std::optional<TExportFormat> exportFormatForPath(const QString& path)
{
    const QString ext = path.section(QLatin1Char('.'), -1).toLower();
    if (!path.contains(QLatin1Char('.')))
        return std::nullopt;
    if (ext == QLatin1String("pdf"))
        return TExportFormat::Pdf;
    return std::nullopt;
}

QString exportExtension(TExportFormat format)
{
    switch (format) {
    case TExportFormat::Pdf:
        return QStringLiteral("pdf");
    case TExportFormat::Html:
        return QStringLiteral("html");
    case TExportFormat::Text:
        return QStringLiteral("txt");
    case TExportFormat::Bmp:
        return QStringLiteral("bmp");
    case TExportFormat::Jpeg:
        return QStringLiteral("jpg");
    case TExportFormat::Gif:
        return QStringLiteral("gif");
    case TExportFormat::Csv:
        return QStringLiteral("csv");
    case TExportFormat::Xlsx:
        return QStringLiteral("xlsx");
    }
    return {};
}

bool exportReport(TReportEngine& engine, TExportFormat format, const QString& path, QString* error,
                  const TExportProgress& progress)
{
    switch (format) {
    case TExportFormat::Pdf:
        return exportPdf(engine, path, error, progress);
    default:
        break;
    }
    if (error)
        *error = QStringLiteral("this format cannot be written yet");
    return false;
}

bool exportPdf(TReportEngine& engine, const QString& path, QString* error,
               const TExportProgress& progress)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        if (error)
            *error = file.errorString();
        return false;
    }
    {
        QPdfWriter pdf(&file);
        pdf.setResolution(300);
        pdf.setTitle(engine.title());
        pdf.setCreator(QStringLiteral("QEL-1.Connect"));
        pdf.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), engine.layout().orientation,
                                      QMarginsF(0, 0, 0, 0), QPageLayout::Millimeter));
        QPainter p;
        if (!p.begin(&pdf)) {
            if (error)
                *error = QStringLiteral("cannot start the PDF");
            file.cancelWriting();
            return false;
        }
        for (int i = 0; i < engine.pageCount(); ++i) {
            if (progress && !progress(i, engine.pageCount())) {
                p.end();
                file.cancelWriting();
                if (error)
                    *error = QStringLiteral("cancelled");
                return false;
            }
            if (i > 0)
                pdf.newPage();
            engine.paintPage(p, i);
        }
        p.end();
    }
    if (!file.commit()) {
        if (error)
            *error = file.errorString();
        return false;
    }
    return true;
}
