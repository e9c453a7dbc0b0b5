#include "Messages.h"

namespace {
struct Pair
{
    const char* ru;
    const char* en;
};

constexpr Pair kMessages[] = {
    {"Прибор не выбран", "Device not selected"},                     // msgDevNotSelected
    {"Архив прочитан: ", "Archive readed: "},                        // msgArchRead
    {"Материалы прочитаны", "Materials readed"},                     // msgMatRead
    {"Материалы записаны успешно", "Materials writed successfully"}, // msgMatWritten
    {"Объекты прочитаны", "Objects readed"},                         // msgObjRead
    {"Объекты записаны успешно", "Objects writed successfully"},     // msgObjWritten
    {"Прибор отключен", "Device disconnected"},                      // msgDevDisconnected
    {"Часы синхронизованы успешно", "Clock synced successfully"},    // msgClockSynced
    {"Выбранные результаты удалены", "Selected results removed"},    // msgResultsRemoved
    {"Результаты скопированы", "Results copied"},                    // msgResultsCopied
    {"Идет чтение архива...", "Archive is being read..."},           // msgArchReading
    {" повторяющихся, ", " duplicate, "},                            // msgDuplicates
    {" уникальных, ", " unique, "},                                  // msgUnique
    {" новых записей.", " new entries."},                            // msgNewEntries
    {"Не подключен", "Not connected"},                               // msgNotConnected
    {"Файл сохранен", "File saved"},                                 // msgFileSaved
    {"Файл открыт: ", "File opened: "},                              // msgFileOpened
    {"Выбранный файл существует. Перезаписать?",
     "The selected file exists. Overwrite?"},                 // msgOverwrite
    {"Готов.", "Ready."},                                     // msgReady
    {"Нечего сохранять", "Nothing to save"},                  // msgNothingToSave
    {"Нечего печатать", "Nothing to print"},                  // msgNothingToPrint
    {"Язык изменен - Русский", "Language changed - English"}, // msgLangChanged
    {"Измеренные значения воздухопроницаемости",
     "Measured values of air permeability"}, // msgReportTitle
    {"отчет создан", "report created on"},   // msgReportDate
    {"Сформировать отчет по выделенному блоку? (\"Нет\" - по всему архиву)",
     "Generate a report on the selected block? (\"No\" - for the entire archive)"}, // msgReportSelection
    {"Файл не читается или испорчен: ", "The file is unreadable or corrupted:"}, // msgFileCorrupted
    {" от ", ", "},                                                            // msgVersionDateSep
    {"Не удалось подключиться - порт занят", "Failed to connect - port busy"}, // msgPortBusy
    {"Комментарий", "Comment"},                                                // msgComment
    {"Записать изменения в прибор?", "Write changes to device?"},              // msgWriteToDevice
    {"Объединить результаты из файлов/приборов?",
     "Merge results from files/devices?"},          // msgMergeResults
    {"Скриншот скопирован.", "Screenshot copied."}, // msgScreenCopied
    {"Идет измерение, чтение архива невозможно.",
     "Measurement is in progress, the archive cannot be read."}, // msgMeasIsGoing
    {"Прибор не отвечает", "Instrument does not answer"},        // msgNoAnswer
    {"Архив превысит 65535 результатов, чтение отменено",
     "The archive would exceed 65535 results; nothing was added"},      // msgArchTooLarge
    {"Нет в этой версии", "Not part of this version"},                  // msgNotAvailable
    {"Прибор не ответил на порту ", "No instrument answered on port "}, // msgNoIdentity
    {"Удалить %1 результатов из прибора? Отменить это нельзя.",
     "Delete %1 results from the instrument? This cannot be undone."},   // msgDeleteFromDevice
    {"Файл справки не найден: ", "The user guide file was not found: "}, // msgHelpMissing
    {"Архив прочитан не полностью: %1 из %2 результатов, неполных серий: %3.",
     "The archive was not read completely: %1 of %2 results, %3 series incomplete."},
    // msgArchIncomplete
    {"Сохранить изменения?", "Save changes?"}, // msgSaveChanges
    {"Файл не найден и убран из списка: ",
     "File not found, removed from the list: "}, // msgRecentMissing
    {"Снимка ещё нет", "No screen yet"},         // msgNoScreenYet
    {"Строка %1, столбец %2: это не число, которое прибор может хранить. Ничего не записано.",
     "Row %1, column %2: not a number the instrument can store. Nothing was written."},
    // msgBadCoef
    {"Файл каталога не прочитан: ", "The catalogue file was not read: "}, // msgCatalogueNotRead
    {"Файл каталога не записан: ",
     "The catalogue file was not written: "}, // msgCatalogueNotWritten
};
static_assert(sizeof(kMessages) / sizeof(kMessages[0]) == msgCount_);
} // namespace

QString Msg(TMsg id, TLang lang)
{
    if (id < 0 || id >= msgCount_)
        return {};
    const Pair& p = kMessages[id];
    return QString::fromUtf8(lang == enUS ? p.en : p.ru);
}
