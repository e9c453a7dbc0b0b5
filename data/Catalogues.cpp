#include "Catalogues.h"

#include "Formats.h"
#include "StringGrid.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocale>
#include <QSaveFile>
#include <cfloat>
#include <cmath>
#include <cstring>

namespace qelcat {

namespace {

const char16_t* const kObjectNamesRu[11] = {
    u"Плита", u"Перекрытие",  u"Колонна", u"Свая",        u"Балка",     u"Ферма",
    u"Блок",  u"Стен.панель", u"Ригель",  u"Фунд. балка", u"Диафрагма",
};
const char* const kObjectNamesEn[11] = {
    "Slab",  "Floor",     "Column",     "Pile",      "Beam",      "Truss",
    "Block", "Wallboard", "Girth rail", "Base beam", "Diaphragm",
};

bool coefFromJson(const QJsonValue& v, float* out)
{
    if (!v.isDouble())
        return false;
    const double d = v.toDouble();
    if (!std::isfinite(d) || std::fabs(d) > double(FLT_MAX))
        return false;
    *out = float(d);
    return true;
}

QJsonArray entries(const QByteArray& json, const char* key, QString* error)
{
    QJsonParseError pe{};
    const QJsonDocument doc = QJsonDocument::fromJson(json, &pe);
    if (pe.error != QJsonParseError::NoError) {
        *error = pe.errorString();
        return {};
    }
    const QJsonValue list = doc.object().value(QLatin1String(key));
    if (!list.isArray()) {
        *error = QStringLiteral("no \"%1\" list").arg(QLatin1String(key));
        return {};
    }
    const QJsonArray a = list.toArray();
    if (a.size() != kMaterialCount) {
        *error = QStringLiteral("%1 entries instead of %2").arg(a.size()).arg(kMaterialCount);
        return {};
    }
    return a;
}

} // namespace

QString defaultMaterialName(int i, TLang lang)
{
    if (i == 0)
        return lang == ruRU ? QStringLiteral("Бетон") : QStringLiteral("Concrete");
    return (lang == ruRU ? QStringLiteral("Материал %1") : QStringLiteral("Material %1")).arg(i);
}

QString defaultObjectName(int i, TLang lang)
{
    if (i < 11)
        return lang == ruRU ? QString::fromUtf16(kObjectNamesRu[i])
                            : QString::fromLatin1(kObjectNamesEn[i]);
    return (lang == ruRU ? QStringLiteral("Объект %1") : QStringLiteral("Object %1")).arg(i - 10);
}

void storeName(char* field, const QString& text)
{
    const QByteArray bytes = qelfmt::encodeName(text).left(kNameMax);
    std::memcpy(field, bytes.constData(), size_t(bytes.size()));
    field[bytes.size()] = '\0';
}

QString coefText(float value)
{
    return qelfmt::scientific(value, 4, 2);
}

bool parseCoef(const QString& text, float* value)
{
    const QString t = text.trimmed();
    if (t.isEmpty())
        return false;
    // Group separators are refused: in a locale with a decimal comma "1.235" would
    // otherwise read as 1235.
    QLocale loc;
    loc.setNumberOptions(QLocale::RejectGroupSeparator);
    bool ok = false;
    double d = loc.toDouble(t, &ok);
    if (!ok)
        d = QLocale::c().toDouble(t, &ok);
    if (!ok || !std::isfinite(d) || std::fabs(d) > double(FLT_MAX))
        return false;
    *value = float(d);
    return true;
}

void fillMaterialsGrid(const TMatBlock& block, TLang lang, TStringGrid& grid)
{
    grid.beginFill();
    grid.setSize(3, kMaterialCount + 1);
    grid.setFixedRows(2);
    grid.setCell(0, 0, lang == enUS ? QStringLiteral("Material") : QStringLiteral("Материал"));
    grid.setCell(1, 0, QStringLiteral("b0"));
    grid.setCell(2, 0, QStringLiteral("b1"));
    for (int i = 0; i < kMaterialCount; ++i) {
        const TQelMaterial& m = block[size_t(i)];
        grid.setCell(0, i + 1, qelfmt::decodeName(m.Name, 15));
        grid.setCell(1, i + 1, coefText(m.A[0]));
        grid.setCell(2, i + 1, coefText(m.A[1]));
    }
    grid.setColWidth(0, kMatNameWidth);
    grid.setColWidth(1, kMatCoefWidth);
    grid.setColWidth(2, kMatCoefWidth);
    grid.endFill();
}

void fillObjectsGrid(const TObjBlock& block, TLang lang, TStringGrid& grid)
{
    grid.beginFill();
    grid.setSize(1, kObjectCount + 1);
    grid.setFixedRows(1);
    grid.setCell(0, 0, lang == enUS ? QStringLiteral("Object") : QStringLiteral("Объект"));
    for (int i = 0; i < kObjectCount; ++i)
        grid.setCell(0, i + 1, qelfmt::decodeName(block[size_t(i)].Name, 15));
    grid.setColWidth(0, kObjNameWidth);
    grid.endFill();
}

namespace {

// The value a coefficient cell stands for: the block's own when its shown text is
// unchanged, otherwise the cell parsed.
bool cellCoef(const QString& text, float current, float* out)
{
    if (text == coefText(current)) {
        *out = current;
        return true;
    }
    return parseCoef(text, out);
}

} // namespace

TCell badMaterialCell(const TMatBlock& block, const TStringGrid& grid)
{
    TMatBlock copy = block;
    return applyMaterialsGrid(copy, grid);
}

TCell applyMaterialsGrid(TMatBlock& block, const TStringGrid& grid)
{
    TMatBlock out = block;
    for (int i = 0; i < kMaterialCount; ++i) {
        TQelMaterial& m = out[size_t(i)];
        const int row = i + 1;
        storeName(m.Name, grid.cell(0, row));
        for (int k = 0; k < 2; ++k) {
            float v = 0;
            if (!cellCoef(grid.cell(1 + k, row), m.A[k], &v))
                return TCell{1 + k, row};
            m.A[k] = v;
        }
    }
    block = out;
    return {};
}

void applyObjectsGrid(TObjBlock& block, const TStringGrid& grid)
{
    for (int i = 0; i < kObjectCount; ++i)
        storeName(block[size_t(i)].Name, grid.cell(0, i + 1));
}

void resetMaterials(TMatBlock& block, TLang lang)
{
    for (int i = 0; i < kMaterialCount; ++i) {
        TQelMaterial& m = block[size_t(i)];
        storeName(m.Name, defaultMaterialName(i, lang));
        m.A[0] = 0.0f;
        m.A[1] = 1.0f;
    }
}

void resetObjects(TObjBlock& block, TLang lang)
{
    for (int i = 0; i < kObjectCount; ++i)
        storeName(block[size_t(i)].Name, defaultObjectName(i, lang));
}

QByteArray materialsJson(const TMatBlock& block)
{
    QJsonArray list;
    for (const TQelMaterial& m : block)
        list.append(QJsonObject{{QStringLiteral("name"), qelfmt::decodeName(m.Name, 15)},
                                {QStringLiteral("b0"), double(m.A[0])},
                                {QStringLiteral("b1"), double(m.A[1])}});
    const QByteArray raw(reinterpret_cast<const char*>(block.data()), kMatCfgSize);
    return QJsonDocument(
               QJsonObject{{QStringLiteral("materials"), list},
                           {QStringLiteral("block"), QString::fromLatin1(raw.toBase64())}})
        .toJson();
}

QByteArray objectsJson(const TObjBlock& block)
{
    QJsonArray list;
    for (const TQelObject& o : block)
        list.append(QJsonObject{{QStringLiteral("name"), qelfmt::decodeName(o.Name, 15)}});
    const QByteArray raw(reinterpret_cast<const char*>(block.data()), kObjCfgSize);
    return QJsonDocument(
               QJsonObject{{QStringLiteral("objects"), list},
                           {QStringLiteral("block"), QString::fromLatin1(raw.toBase64())}})
        .toJson();
}

bool materialsFromJson(const QByteArray& json, TMatBlock& block, QString* error)
{
    QString why;
    const QJsonArray list = entries(json, "materials", &why);
    if (list.isEmpty()) {
        if (error)
            *error = why;
        return false;
    }
    TMatBlock out = block;
    for (int i = 0; i < kMaterialCount; ++i) {
        const QJsonObject e = list[i].toObject();
        const QJsonValue name = e.value(QStringLiteral("name"));
        float b0 = 0, b1 = 0;
        if (!name.isString() || !coefFromJson(e.value(QStringLiteral("b0")), &b0) ||
            !coefFromJson(e.value(QStringLiteral("b1")), &b1)) {
            if (error)
                *error = QStringLiteral("material %1 is not a name with b0 and b1").arg(i);
            return false;
        }
        storeName(out[size_t(i)].Name, name.toString());
        out[size_t(i)].A[0] = b0;
        out[size_t(i)].A[1] = b1;
    }
    block = out;
    return true;
}

bool objectsFromJson(const QByteArray& json, TObjBlock& block, QString* error)
{
    QString why;
    const QJsonArray list = entries(json, "objects", &why);
    if (list.isEmpty()) {
        if (error)
            *error = why;
        return false;
    }
    TObjBlock out = block;
    for (int i = 0; i < kObjectCount; ++i) {
        const QJsonValue v = list[i];
        const QJsonValue name = v.isString() ? v : v.toObject().value(QStringLiteral("name"));
        if (!name.isString()) {
            if (error)
                *error = QStringLiteral("object %1 has no name").arg(i);
            return false;
        }
        storeName(out[size_t(i)].Name, name.toString());
    }
    block = out;
    return true;
}

bool writeFileAtomic(const QString& path, const QByteArray& bytes, QString* error)
{
    QSaveFile f(path);
    if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size() || !f.commit()) {
        if (error)
            *error = f.errorString();
        return false;
    }
    return true;
}

QString backupCatalogue(const QString& folder, int serial, const QString& kind,
                        const QByteArray& json, QString* error, int keep)
{
    QDir dir(folder);
    if (!dir.mkpath(QStringLiteral("."))) {
        if (error)
            *error = QStringLiteral("cannot create %1").arg(folder);
        return {};
    }
    const QString prefix = QStringLiteral("%1_%2_").arg(serial).arg(kind);
    // The time sorts the names; a counter keeps two backups of one millisecond apart.
    const QString stamp =
        QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss-zzz"));
    QString path;
    for (int n = 0;; ++n) {
        path = dir.filePath(prefix + stamp + QStringLiteral("-%1.json").arg(n, 3, 10, QChar(u'0')));
        if (!QFileInfo::exists(path))
            break;
    }
    if (!writeFileAtomic(path, json, error))
        return {};
    QStringList old = dir.entryList({prefix + QStringLiteral("*.json")}, QDir::Files, QDir::Name);
    while (old.size() > keep)
        dir.remove(old.takeFirst());
    return path;
}

} // namespace qelcat
