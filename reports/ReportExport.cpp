#include "ReportExport.h"

#include "ReportEngine.h"

#include <QPageLayout>
#include <QPainter>
#include <QPdfWriter>
#include <QSaveFile>

bool exportPdf(TReportEngine& engine, const QString& path, QString* error)
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
