// Archive files (*.qel1x): the identity record, a result count, then each result as its
// 88-byte record, its length-prefixed samples and its length-prefixed UTF-16LE comment.
#pragma once

#include "QelTypes.h"

#include <QList>
#include <QString>

// Writes the file atomically: a failed save leaves the previous file as it was. A result
// keeps at most SampleCount samples in the file. Throws std::runtime_error with the reason,
// in `lang`, when the file cannot be written.
void SaveArchiveFile(const QString& fileName, const TQelInfo& info, const QList<TCalcQEL>& results,
                     TLang lang);

// Reads a whole file into `info` and `results` (replacing what they held). `held` results
// already in memory count against the limit of kMaxArchive. Returns false with the reason,
// in `lang`, in `error`; `info` and `results` are then unspecified.
bool LoadArchiveFile(const QString& fileName, qsizetype held, TLang lang, TQelInfo& info,
                     QList<TCalcQEL>& results, QString& error);
