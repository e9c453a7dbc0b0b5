// The instrument's two catalogues as plain blocks: filling the editor's grid, taking the
// grid back, the factory defaults, and the catalogue file that carries a catalogue from
// one instrument to another.
#pragma once

#include "QelTypes.h"

#include <QByteArray>
#include <QString>
#include <array>

class TStringGrid;

using TMatBlock = std::array<TQelMaterial, kMaterialCount>;
using TObjBlock = std::array<TQelObject, kObjectCount>;

namespace qelcat {

// Column widths of the editors' grids, in pixels.
constexpr int kMatNameWidth = 260;
constexpr int kMatCoefWidth = 68;
constexpr int kObjNameWidth = 260;
// A name entered is stored as at most this many bytes and a zero byte.
constexpr int kNameMax = 14;

QString defaultMaterialName(int i, TLang lang);
QString defaultObjectName(int i, TLang lang);

// Writes text as at most kNameMax bytes and a zero byte into a name field; the bytes of
// the field after that zero byte keep what they held.
void storeName(char* field, const QString& text);

// A coefficient as shown: Scientific 4/2.
QString coefText(float value);
// A coefficient entered: a decimal number in the locale's format or with a point, in
// scientific notation or not, finite and within float32. False for anything else.
bool parseCoef(const QString& text, float* value);

void fillMaterialsGrid(const TMatBlock& block, TLang lang, TStringGrid& grid);
void fillObjectsGrid(const TObjBlock& block, TLang lang, TStringGrid& grid);

// A grid cell by its grid column and row; row -1 when there is none.
struct TCell
{
    int col = -1;
    int row = -1;
    bool isValid() const { return row >= 0; }
};

// Takes rows 1 to 20 of the grid into the block. A coefficient cell whose text is still
// the shown text of the block's value keeps that value bit for bit, so that a write never
// rounds a calibration nobody touched; an edited cell is parsed. All or nothing: when a
// cell does not parse, the block stays as it was and that cell is returned.
TCell applyMaterialsGrid(TMatBlock& block, const TStringGrid& grid);
// The first cell that applyMaterialsGrid would refuse; invalid when there is none.
TCell badMaterialCell(const TMatBlock& block, const TStringGrid& grid);
void applyObjectsGrid(TObjBlock& block, const TStringGrid& grid);

// The factory catalogues in a language: each default name and a zero byte go into their
// field, whose later bytes stay; every material gets b0 = 0 and b1 = 1.
void resetMaterials(TMatBlock& block, TLang lang);
void resetObjects(TObjBlock& block, TLang lang);

// The catalogue file: {"materials": [{"name", "b0", "b1"}, ...]} or
// {"objects": [{"name"}, ...]}, 20 entries, the coefficients exact. "block" carries the
// block's bytes as well, for a backup that restores what the instrument held.
QByteArray materialsJson(const TMatBlock& block);
QByteArray objectsJson(const TObjBlock& block);
// Reads a catalogue file into the block, names stored as entered ones; all or nothing.
// False with the reason in error (English, for the log line or the box).
bool materialsFromJson(const QByteArray& json, TMatBlock& block, QString* error);
bool objectsFromJson(const QByteArray& json, TObjBlock& block, QString* error);

// Writes a whole file or leaves the old one; false with the reason.
bool writeFileAtomic(const QString& path, const QByteArray& bytes, QString* error);

// Keeps a copy of a catalogue as read from an instrument in folder, named by the serial
// number, the catalogue ("materials" or "objects") and the time, and removes all but the
// newest `keep` of that instrument and catalogue. Returns the file written; empty on
// failure, with the reason.
QString backupCatalogue(const QString& folder, int serial, const QString& kind,
                        const QByteArray& json, QString* error, int keep = 20);

} // namespace qelcat
