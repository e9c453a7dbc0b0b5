// Every text the program composes at run time, as (Russian, English) pairs.
#pragma once

#include "data/QelTypes.h"

#include <QString>

enum TMsg : int
{
    msgDevNotSelected,
    msgArchRead,
    msgMatRead,
    msgMatWritten,
    msgObjRead,
    msgObjWritten,
    msgDevDisconnected,
    msgClockSynced,
    msgResultsRemoved,
    msgResultsCopied,
    msgArchReading,
    msgDuplicates,
    msgUnique,
    msgNewEntries,
    msgNotConnected,
    msgFileSaved,
    msgFileOpened,
    msgOverwrite,
    msgReady,
    msgNothingToSave,
    msgNothingToPrint,
    msgLangChanged,
    msgReportTitle,
    msgReportDate,
    msgReportSelection,
    msgFileCorrupted,
    msgVersionDateSep,
    msgPortBusy,
    msgComment,
    msgWriteToDevice,
    msgMergeResults,
    msgScreenCopied,
    msgMeasIsGoing,
    // Texts of this program beyond the instrument software's own catalogue.
    msgNoAnswer,
    msgArchTooLarge,
    msgNotAvailable,
    msgNoIdentity,
    msgDeleteFromDevice, // %1: the number of results
    msgHelpMissing,      // followed by the file's path
    msgCount_
};

// The text of a message in a language.
QString Msg(TMsg id, TLang lang);

// The status line after an archive read or a merge: "Archive readed: D duplicate, U unique,
// N new entries. " with its closing blank.
QString ArchReadText(const TArchDupStat& stat, TLang lang);
