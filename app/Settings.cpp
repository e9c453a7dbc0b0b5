#include "Settings.h"

#include <QDir>
#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>
#include <QStringList>
#include <QVariant>

#include <algorithm>
#include <limits>
#include <optional>

// QSettings orders the keys of a section itself, so the file does not keep the order in
// which they are written; readers look keys up by name and do not mind.

namespace {

const QString kGui = QStringLiteral("GUI/");
const QString kSettings = QStringLiteral("Settings/");
const QString kHeader = QStringLiteral("ReportHeader/");
constexpr int kHeaderLines = 3;
constexpr int kRecentKeys = 8;

QString recentKey(int i)
{
    return QStringLiteral("Recent/File%1").arg(i);
}

int hexDigit(QChar c)
{
    const char16_t u = c.unicode();
    if (u >= u'0' && u <= u'9')
        return u - u'0';
    if (u >= u'a' && u <= u'f')
        return u - u'a' + 10;
    if (u >= u'A' && u <= u'F')
        return u - u'A' + 10;
    return -1;
}

bool allDecimalDigits(QStringView s)
{
    for (QChar c : s)
        if (c.unicode() < u'0' || c.unicode() > u'9')
            return false;
    return !s.isEmpty();
}

// QString::toInt alone would also take inner blanks, a second "0x" and non-ASCII digits.
std::optional<int> parseHex(QStringView digits)
{
    if (digits.isEmpty())
        return std::nullopt;
    qint64 value = 0;
    for (QChar c : digits) {
        const int d = hexDigit(c);
        if (d < 0)
            return std::nullopt;
        value = value * 16 + d;
        if (value > std::numeric_limits<int>::max())
            return std::nullopt;
    }
    return int(value);
}

// The value of a key as text, or nothing when the key is missing. An unquoted comma in a
// hand-written value makes QSettings split it into a list; it is joined back.
std::optional<QString> iniText(const QSettings& ini, const QString& key)
{
    const QVariant v = ini.value(key);
    if (!v.isValid())
        return std::nullopt;
    if (v.typeId() == QMetaType::QStringList)
        return v.toStringList().join(QStringLiteral(", "));
    return v.toString();
}

int iniInt(const QSettings& ini, const QString& key, int def)
{
    const std::optional<QString> text = iniText(ini, key);
    return text ? ParseIniInt(*text, def) : def;
}

bool iniBool(const QSettings& ini, const QString& key, bool def)
{
    return iniInt(ini, key, def ? 1 : 0) != 0;
}

int iniSize(const QSettings& ini, const QString& key, int current)
{
    const int v = iniInt(ini, key, current);
    return v >= 0 ? v : current;
}

QString configFolder()
{
    return QFileInfo(GetConfigFileName()).path();
}

QString shown(const QString& path)
{
    return QDir::toNativeSeparators(QDir::cleanPath(path));
}

QString flag(bool b)
{
    return b ? QStringLiteral("1") : QStringLiteral("0");
}

} // namespace

QString GetConfigFileName()
{
    const QString dir = qEnvironmentVariable("QEL_CONFIG_DIR");
    if (!dir.isEmpty())
        return dir + QStringLiteral("/QEL.ini");
    QString docs = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    if (docs.isEmpty()) // never the file system's root
        docs = QDir::homePath();
    return docs + QStringLiteral("/Prandel/QEL/QEL.ini");
}

bool ConfigFileExists()
{
    return QFileInfo(GetConfigFileName()).isFile();
}

QString ScreenShotFolder()
{
    return configFolder() + QStringLiteral("/ScreenShots");
}

QString CatalogueFolder()
{
    return configFolder() + QStringLiteral("/Catalogues");
}

void LoadConfig(TGuiConfig& cfg)
{
    if (!ConfigFileExists())
        return;
    const QSettings ini(GetConfigFileName(), QSettings::IniFormat);
    // An unreadable file is no file of defaults: it would turn the options off.
    if (ini.status() == QSettings::AccessError)
        return;

    if (const std::optional<QString> hex = iniText(ini, kGui + QStringLiteral("Placement")))
        HexOverPlacement(*hex, cfg.Placement);
    cfg.VertSplitter = iniSize(ini, kGui + QStringLiteral("VertSplitter"), cfg.VertSplitter);
    cfg.HorizSplitter = iniSize(ini, kGui + QStringLiteral("HorizSplitter"), cfg.HorizSplitter);
    if (const std::optional<QString> skin = iniText(ini, kGui + QStringLiteral("Skin"));
        skin && !skin->isEmpty())
        cfg.Skin = *skin;
    cfg.SkinEnable = iniBool(ini, kGui + QStringLiteral("SkinEnable"), cfg.SkinEnable);

    // Values that name no language or unit fall back to the first one.
    const int lang = iniInt(ini, kSettings + QStringLiteral("Language"), 0);
    cfg.Lang = LangFromInt(lang);
    const int dim = iniInt(ini, kSettings + QStringLiteral("Dimension"), 0);
    cfg.Dimension = UnitFromInt(dim);
    cfg.AutoClock = iniBool(ini, kSettings + QStringLiteral("AutoClock"), false);
    cfg.PrintComments = iniBool(ini, kSettings + QStringLiteral("PrintComments"), false);
    cfg.Recent.clear();
    for (int i = 1; i <= kRecentKeys; ++i)
        if (const std::optional<QString> f = iniText(ini, recentKey(i)); f && !f->isEmpty())
            cfg.Recent.append(*f);
    // The letterhead is optional: a file without it keeps what cfg holds.
    if (ini.childGroups().contains(kHeader.chopped(1))) {
        cfg.ReportHeaderLines.clear();
        for (int i = 1; i <= kHeaderLines; ++i)
            cfg.ReportHeaderLines.append(
                iniText(ini, kHeader + QStringLiteral("Line%1").arg(i)).value_or(QString()));
        while (!cfg.ReportHeaderLines.isEmpty() && cfg.ReportHeaderLines.last().isEmpty())
            cfg.ReportHeaderLines.removeLast();
        // Text that is not base64 decodes to nothing, so a damaged logo is simply no logo.
        cfg.ReportHeaderLogo = QByteArray::fromBase64(
            iniText(ini, kHeader + QStringLiteral("Logo")).value_or(QString()).toLatin1());
    }
}

bool CreateConfigFolders(QString* error)
{
    for (const QString& folder : {configFolder(), ScreenShotFolder()}) {
        if (!QDir().mkpath(folder)) {
            if (error)
                *error = QStringLiteral("Unable to create folder %1").arg(shown(folder));
            return false;
        }
    }
    return true;
}

QString SaveConfig(const TGuiConfig& cfg)
{
    const QString file = GetConfigFileName();
    // QSettings records only the first error of an object, so a malformed existing file
    // (FormatError on reading) would hide a failed write. The probe takes that first read;
    // while it lives the writer shares its parsed copy and starts with no error.
    const QSettings probe(file, QSettings::IniFormat);
    QSettings ini(file, QSettings::IniFormat);

    ini.setValue(kGui + QStringLiteral("Placement"), PlacementToHex(cfg.Placement));
    ini.setValue(kGui + QStringLiteral("VertSplitter"), QString::number(cfg.VertSplitter));
    ini.setValue(kGui + QStringLiteral("HorizSplitter"), QString::number(cfg.HorizSplitter));
    ini.setValue(kGui + QStringLiteral("Skin"), cfg.Skin);
    ini.setValue(kGui + QStringLiteral("SkinEnable"), flag(cfg.SkinEnable));
    ini.setValue(kSettings + QStringLiteral("Language"), QString::number(int(cfg.Lang)));
    ini.setValue(kSettings + QStringLiteral("Dimension"), QString::number(int(cfg.Dimension)));
    ini.setValue(kSettings + QStringLiteral("AutoClock"), flag(cfg.AutoClock));
    ini.setValue(kSettings + QStringLiteral("PrintComments"), flag(cfg.PrintComments));
    for (int i = 1; i <= kRecentKeys; ++i) {
        if (i <= cfg.Recent.size())
            ini.setValue(recentKey(i), cfg.Recent[i - 1]);
        else
            ini.remove(recentKey(i));
    }
    // Written only when there is a letterhead, so that a file without one stays as it was.
    ini.remove(kHeader.chopped(1));
    const bool header = !cfg.ReportHeaderLogo.isEmpty() ||
                        std::any_of(cfg.ReportHeaderLines.cbegin(), cfg.ReportHeaderLines.cend(),
                                    [](const QString& l) { return !l.isEmpty(); });
    if (header) {
        for (int i = 1; i <= kHeaderLines; ++i)
            ini.setValue(kHeader + QStringLiteral("Line%1").arg(i),
                         cfg.ReportHeaderLines.value(i - 1));
        ini.setValue(kHeader + QStringLiteral("Logo"),
                     QString::fromLatin1(cfg.ReportHeaderLogo.toBase64()));
    }

    // QSettings writes through QSaveFile: on failure the old file stays as it was.
    ini.sync();
    if (ini.status() == QSettings::NoError)
        return {};
    // FormatError here means the file changed under us into something malformed, so the
    // write is not confirmed either.
    const QString reason = ini.status() == QSettings::AccessError
                               ? QStringLiteral("access denied or folder cannot be created")
                               : QStringLiteral("the file cannot be parsed");
    return QStringLiteral("Unable to write to %1: %2").arg(shown(file), reason);
}

int ParseIniInt(const QString& text, int def)
{
    const QString t = text.trimmed();
    std::optional<int> value;
    if (t.startsWith(QLatin1String("0x"), Qt::CaseInsensitive)) {
        value = parseHex(QStringView(t).mid(2));
    } else if (t.startsWith(u'$')) {
        value = parseHex(QStringView(t).mid(1));
    } else {
        const bool sign = t.startsWith(u'-') || t.startsWith(u'+');
        bool ok = false;
        const int v = t.toInt(&ok, 10); // ok is false beyond the int range
        if (ok && allDecimalDigits(QStringView(t).mid(sign ? 1 : 0)))
            value = v;
    }
    return value.value_or(def);
}

QString PlacementToHex(const QByteArray& bytes)
{
    return QString::fromLatin1(bytes.toHex().toUpper());
}

void HexOverPlacement(const QString& text, QByteArray& placement)
{
    QByteArray bytes;
    for (qsizetype i = 0; i + 1 < text.size(); i += 2) {
        const int hi = hexDigit(text[i]);
        const int lo = hexDigit(text[i + 1]);
        if (hi < 0 || lo < 0)
            break;
        bytes.append(char(hi * 16 + lo));
    }
    if (placement.size() < bytes.size())
        placement.resize(bytes.size());
    std::copy(bytes.cbegin(), bytes.cend(), placement.begin());
}
