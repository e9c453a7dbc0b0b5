// The settings file QEL.ini: read once at start-up, written once at exit.
#pragma once

#include "i18n/Lang.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

// Settings the main window keeps between runs. The initial values are those of the window's
// resource, so a first run (no file) starts from them.
struct TGuiConfig
{
    QByteArray Placement;   // QWidget::saveGeometry() bytes; empty: not restored
    int VertSplitter = 467; // width of the detail panel
    int HorizSplitter = 98; // height of the comment box
    QString Skin = QStringLiteral("Fusion");
    bool SkinEnable = false;
    TLang Lang = ruRU;
    EPressureUnits Dimension = puKPa;
    bool AutoClock = true; // the menu's resource default
    bool PrintComments = false;
    QStringList Recent; // files last opened or saved, newest first (section "Recent")
    // The reports' letterhead (section "ReportHeader"): up to three lines and the logo as
    // PNG bytes, kept in the file itself so that no picture elsewhere can go missing.
    QStringList ReportHeaderLines;
    QByteArray ReportHeaderLogo;

    bool operator==(const TGuiConfig&) const = default;
};

// QEL_CONFIG_DIR + "/QEL.ini" when that variable is set and not empty, otherwise
// <documents>/Prandel/QEL/QEL.ini.
QString GetConfigFileName();
bool ConfigFileExists();

// Reads an existing file over cfg. Missing or unparseable keys keep what cfg holds, except
// AutoClock and PrintComments, which default to false when missing from an existing file,
// and Language/Dimension, which default to 0. Values of "Language" other than 0/1 and of
// "Dimension" other than 0-3 read as 0; negative splitter sizes keep what cfg holds; an
// empty "Skin" keeps the current skin. A missing or unreadable file leaves cfg untouched.
void LoadConfig(TGuiConfig& cfg);

// First run: creates the settings folder with its parents and its subfolder "ScreenShots".
// Returns false with a message on failure; folders that exist already are fine.
bool CreateConfigFolders(QString* error = nullptr);
QString ScreenShotFolder(); // folder of the ini + "/ScreenShots"
QString CatalogueFolder();  // folder of the ini + "/Catalogues", for catalogue backups

// Writes all keys, keeping any other sections and keys of the file. Creates a missing
// folder. Either every key reaches the file or the file is left as it was. Returns an
// empty string on success, otherwise "Unable to write to <file>: <reason>".
QString SaveConfig(const TGuiConfig& cfg);

// Helpers, exposed for tests:
// Decimal with an optional sign, or hexadecimal after "0x", "0X" or "$"; surrounding blanks
// are ignored. Anything else, or a value outside the int range, gives def.
int ParseIniInt(const QString& text, int def);
// Two upper-case hex digits per byte, in order.
QString PlacementToHex(const QByteArray& bytes);
// Pairs of hex digits of either case up to the first pair that is not hex (an odd last
// digit is dropped). The bytes are copied over the START of placement, growing it if it is
// shorter, so fewer digits replace only the first bytes.
void HexOverPlacement(const QString& text, QByteArray& placement);
