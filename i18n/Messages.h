// Every text the program composes at run time, as (Russian, English) pairs.
#pragma once

#include "Lang.h"

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
    // Texts of the link's own checks and of the command line.
    msgNoAnswer,
    msgArchTooLarge,
    msgNotAvailable,
    msgNoIdentity,
    msgDeleteFromDevice, // %1: the number of results
    msgHelpMissing,      // followed by the file's path
    msgArchIncomplete,
    msgSaveChanges,
    msgRecentMissing, // followed by the file's path
    msgNoScreenYet,
    msgBadCoef,             // %1: the row, %2: the column's caption
    msgCatalogueNotRead,    // followed by the reason
    msgCatalogueNotWritten, // followed by the reason
    msgCount_
};

// The text of a message in a language.
QString Msg(TMsg id, TLang lang);
