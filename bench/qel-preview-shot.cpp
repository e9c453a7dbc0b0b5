// Takes the picture of the report preview for the documentation: a generated archive of
// 200 results in the table layout, the window grabbed offscreen.
// Usage: qel-preview-shot OUT.png [ru|en]
#include "data/StringGrid.h"
#include "data/Views.h"
#include "sim/SimArchive.h"
#include "windows/ReportPreview.h"

#include <QAction>
#include <QApplication>
#include <QLineEdit>
#include <cstdio>

int main(int argc, char* argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() < 2) {
        std::fprintf(stderr, "usage: qel-preview-shot OUT.png [ru|en]\n");
        return 2;
    }
    const TLang lang = args.value(2) == QLatin1String("ru") ? ruRU : enUS;
    QList<TCalcQEL> results = makeArchive(200, 11, 40);
    TStringGrid grid;
    FillBasicGrid(grid, results, lang, puKPa);
    TReportChoice c;
    c.kind = TReportKind::Table;
    c.First = 1;
    c.Count = int(results.size());
    TReportPreviewForm form(nullptr);
    form.ApplyLanguage(lang);
    form.resize(1000, 820);
    form.Execute(std::make_unique<TPreparedReport>(grid, results, c, lang, QImage(),
                                                   QDateTime(QDate(2026, 3, 5), QTime(10, 30))));
    form.ActionPageWidthExecute();
    // A find, so that the picture shows a marked cell too.
    form.findBox()->setText(grid.cell(2, 6));
    form.ActionFindNextExecute();
    QApplication::processEvents();
    if (!form.grab().save(args[1])) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(args[1]));
        return 1;
    }
    return 0;
}
