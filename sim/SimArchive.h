// Made-up but plausible instrument contents: the factory catalogues and an archive of
// results with their pressure series. Everything is deterministic for a given seed so that
// tests can compare bytes across runs and machines.
#pragma once

#include "data/QelTypes.h"

#include <QByteArray>
#include <QDate>
#include <QList>

// The factory catalogue blocks as the instrument keeps them: 20 materials (480 bytes,
// "Бетон"/"Concrete", then "Материал 1".."Материал 19", b0 = 0, b1 = 1) and 20 objects
// (300 bytes). Russian names are windows-1251 bytes; each name is followed by a zero byte
// and the rest of its field is zero.
QByteArray defaultMaterials(TLang lang = ruRU);
QByteArray defaultObjects(TLang lang = ruRU);

// 8-bit name as the instrument stores it (windows-1251), without a terminator.
QByteArray encodeSimName(const QString& text);

// A pressure series in codes of 10 Pa, relaxing from the vacuum `vac` towards the air
// pressure `air` with time constant tauSec, sampled at freqHz, with a little noise.
QList<uint16_t> makeSeries(int count, int freqHz, uint16_t air, uint16_t vac, double tauSec,
                           quint32 seed);

// `count` results (0..kMaxArchive) in the order the instrument sends its archive, the
// newest first, so that the head reply serves the newest result. AbsIndex counts up in that
// order from firstAbsIndex (16-bit wrap); Num counts up from 1 at the oldest. The newest
// result was measured on `newest`; the others go back over weeks and months in sessions of
// a few results each. samplesPerResult 0 gives series of 300..3000 samples; otherwise every
// series has that many samples (0..65535).
QList<TCalcQEL> makeArchive(int count, quint32 seed, int samplesPerResult = 0,
                            uint16_t firstAbsIndex = 0, QDate newest = QDate(2025, 3, 14));
