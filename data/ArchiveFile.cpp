// Both directions stream through buffers straight between the file and the results: no
// per-sample work and no second copy of the whole archive in memory.
#include "ArchiveFile.h"

#include "i18n/Messages.h"

#include <QFile>
#include <QSaveFile>
#include <algorithm>
#include <cstring>
#include <new>
#include <stdexcept>

namespace {

constexpr qsizetype kInfoSize = sizeof(TQelInfo);
constexpr qsizetype kRecordSize = sizeof(TArchQEL);
constexpr qsizetype kCountSize = sizeof(int32_t);
// A result with no samples and no comment.
constexpr qsizetype kMinEntrySize = kRecordSize + 2 * kCountSize;

QString text(TLang lang, const char* ru, const char* en)
{
    return lang == ruRU ? QString::fromUtf8(ru) : QString::fromUtf8(en);
}

// Gathers the file in a cache-sized buffer and writes it in large pieces: no copy of the
// whole archive in memory, few system calls. The first failed write is kept.
class TWriter
{
public:
    explicit TWriter(QIODevice& device) : fDevice(device), fBuf(kBufSize, Qt::Uninitialized) {}

    void put(const void* data, qsizetype size)
    {
        if (fUsed + size > kBufSize) {
            drain();
            if (size >= kBufSize) {
                write(static_cast<const char*>(data), size);
                return;
            }
        }
        if (size > 0)
            std::memcpy(fBuf.data() + fUsed, data, size);
        fUsed += size;
    }
    void putCount(qsizetype v)
    {
        const int32_t n = int32_t(v);
        put(&n, sizeof n);
    }
    bool finish()
    {
        drain();
        return fOk;
    }

private:
    static constexpr qsizetype kBufSize = 1 << 20;

    void drain()
    {
        write(fBuf.constData(), fUsed);
        fUsed = 0;
    }
    void write(const char* data, qsizetype size)
    {
        if (fOk && size > 0)
            fOk = fDevice.write(data, size) == size;
    }

    QIODevice& fDevice;
    QByteArray fBuf;
    qsizetype fUsed = 0;
    bool fOk = true;
};

// Reads the file in order; every take is checked against what is left, so that no count
// read from the file can make the loader run past its end or allocate beyond its size.
class TReader
{
public:
    explicit TReader(QFile& file) : fFile(file), fLeft(file.size()) {}

    bool has(qint64 bytes) const { return bytes <= fLeft; }
    // Reads bytes that has() allowed; a read that fails is remembered, not retried.
    void take(void* to, qint64 bytes)
    {
        fLeft -= bytes;
        if (fOk && bytes > 0)
            fOk = fFile.read(static_cast<char*>(to), bytes) == bytes;
    }
    int32_t takeCount()
    {
        int32_t v = 0;
        take(&v, sizeof v);
        return fOk ? v : 0;
    }
    bool ok() const { return fOk; }

private:
    QFile& fFile;
    qint64 fLeft;
    bool fOk = true;
};

} // namespace

void SaveArchiveFile(const QString& FileName, const TQelInfo& info, const QList<TCalcQEL>& results,
                     TLang lang)
{
    const auto fail = [&](const QString& reason) {
        const QString msg =
            text(lang, "Не удалось записать файл %1: %2", "Cannot write the file %1: %2")
                .arg(FileName, reason);
        throw std::runtime_error(msg.toStdString());
    };

    // QSaveFile writes beside the target and renames on commit: a failed save leaves
    // the previous file as it was.
    QSaveFile file(FileName);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        fail(file.errorString());
    TWriter out(file);
    out.put(&info, kInfoSize);
    out.putCount(results.size());
    for (const TCalcQEL& r : results) {
        out.put(&r.ArchRes, kRecordSize);
        // S is the number of values that follow it: the samples held, as an interrupted
        // download leaves fewer, but never more than SampleCount, so that a complete
        // series is written with S = SampleCount even if it was loaded with more.
        const qsizetype samples = std::min<qsizetype>(r.Samples.size(), r.ArchRes.SampleCount);
        out.putCount(samples);
        out.put(r.Samples.constData(), 2 * samples);
        out.putCount(r.UserComment.size());
        out.put(r.UserComment.utf16(), 2 * r.UserComment.size());
    }
    // commit() renames even when the last buffered bytes failed to reach the disk (seen
    // with Qt 6.4), so every write is checked before it.
    if (!out.finish() || !file.flush()) {
        const QString reason = file.errorString();
        file.cancelWriting();
        fail(reason);
    }
    if (!file.commit())
        fail(file.errorString());
}

bool LoadArchiveFile(const QString& FileName, qsizetype held, TLang lang, TQelInfo& info,
                     QList<TCalcQEL>& results, QString& error)
{
    const auto fail = [&error](const QString& reason) {
        error = reason;
        return false;
    };

    QFile file(FileName);
    if (!file.open(QIODevice::ReadOnly))
        return fail(text(lang, "Не удалось открыть файл: ", "Cannot open the file: ") +
                    file.errorString());
    TReader in(file);
    const auto readError = [&] {
        return fail(text(lang, "Ошибка чтения файла: ", "Cannot read the file: ") +
                    file.errorString());
    };
    // The file is shorter than its counts say; `result` numbers the entry from 1.
    const auto cut = [&](const char* ru, const char* en, qsizetype result = 0) {
        if (!in.ok())
            return readError();
        QString where = text(lang, ru, en);
        if (result > 0)
            where = where.arg(result);
        return fail(text(lang, "Файл обрывается ", "The file ends ") + where);
    };

    try {
        if (!in.has(kInfoSize))
            return cut("внутри записи прибора", "inside the device identity");
        in.take(&info, kInfoSize);

        if (!in.has(kCountSize))
            return cut("внутри числа результатов", "inside the result count");
        const qint64 count = std::max(in.takeCount(), 0);
        if (!in.ok())
            return readError();
        if (!in.has(count * kMinEntrySize))
            return fail(text(lang, "В файле меньше результатов, чем указано (%1)",
                             "The file holds fewer results than its count says (%1)")
                            .arg(count));
        if (held + count > kMaxArchive)
            return fail(Msg(msgArchTooLarge, lang));

        QList<TCalcQEL>& loaded = results;
        loaded.clear();
        loaded.reserve(count);
        for (qsizetype i = 1; i <= count; ++i) {
            TCalcQEL& r = loaded.emplace_back();
            if (!in.has(kRecordSize))
                return cut("внутри записи результата %1", "inside the record of result %1", i);
            in.take(&r.ArchRes, kRecordSize);

            if (!in.has(kCountSize))
                return cut("внутри числа отсчётов результата %1",
                           "inside the sample count of result %1", i);
            const qint64 samples = std::max(in.takeCount(), 0);
            if (!in.has(2 * samples))
                return cut("посреди отсчётов результата %1",
                           "in the middle of the samples of result %1", i);
            if (samples > 0) {
                r.Samples.resize(samples);
                in.take(r.Samples.data(), 2 * samples);
            }

            if (!in.has(kCountSize))
                return cut("внутри длины комментария результата %1",
                           "inside the comment length of result %1", i);
            const qint64 units = std::max(in.takeCount(), 0);
            if (!in.has(2 * units))
                return cut("посреди комментария результата %1",
                           "in the middle of the comment of result %1", i);
            if (units > 0) {
                r.UserComment = QString(units, Qt::Uninitialized);
                in.take(r.UserComment.data(), 2 * units);
            }
        }
        if (!in.ok())
            return readError();
        error.clear();
        return true;
    } catch (const std::bad_alloc&) {
        return fail(text(lang, "Недостаточно памяти для чтения файла",
                         "Not enough memory to read the file"));
    }
}
