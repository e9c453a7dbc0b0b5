// Ordering results, dropping copies of one measurement, and removing blocks of results.
#pragma once

#include "QelTypes.h"

#include <QList>
#include <QString>

// Order of results: negative when x comes first (newer; of one minute the higher number),
// 0 when both have the same date, time and number.
int CompareResults(const TCalcQEL& x, const TCalcQEL& y);

// Sorts the results newest first and keeps one copy of each measurement: of copies with
// the same date, time and number, the first with the longest comment. `lastReaded` is how
// many results the last read or load brought; the new count is what of them stayed, never
// below 0.
TArchDupStat RemoveDuplicates(QList<TCalcQEL>& results, int lastReaded);

// Removes up to `count` results from `start` on, as far as they exist; returns how many.
qsizetype RemoveResultBlock(QList<TCalcQEL>& results, qsizetype start, qsizetype count);

// The status line after an archive read or a merge: "Archive readed: D duplicate, U unique,
// N new entries. " with its closing blank.
QString ArchReadText(const TArchDupStat& stat, TLang lang);
// The same counts after opening a file: "File opened: D duplicate, U unique, N new entries."
QString FileOpenedText(const TArchDupStat& stat, TLang lang);

// The status line after a read that did not bring everything: "The archive was not read
// completely: R of T results, S series incomplete."
QString ArchIncompleteText(const TArchReadOutcome& outcome, TLang lang);
