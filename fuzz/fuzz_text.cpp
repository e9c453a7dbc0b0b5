// The comment's two forms and the 8-bit names. The first byte chooses the property; the rest
// is UTF-16LE text or raw name bytes.
#include "data/Formats.h"
#include "windows/CommentText.h"

#include <QCoreApplication>
#include <QStringList>
#include <cstdlib>
#include <cstring>

namespace {

void check(bool ok)
{
    if (!ok)
        abort();
}

QString utf16(const uint8_t* data, size_t size)
{
    QString s(qsizetype(size / 2), Qt::Uninitialized);
    std::memcpy(s.data(), data, (size / 2) * 2);
    return s;
}

// What the string form keeps of a list of lines: empty lines go, unless one is all there is.
QStringList kept(const QStringList& lines)
{
    if (lines.size() == 1)
        return lines;
    QStringList out;
    for (const QString& l : lines) {
        if (!l.isEmpty())
            out.append(l);
    }
    return out;
}

void commentForms(const QString& text)
{
    // Any text read as lines: writing the lines and reading them again gives them back.
    const QStringList lines = CommentStringToLines(text);
    const QStringList again = CommentStringToLines(CommentLinesToString(lines));
    check(again == kept(lines));
    for (const QString& l : again)
        check(!l.isEmpty() || again.size() == 1);

    // The text as lines of its own, cut at U+FFFF: any characters survive in a line.
    const QStringList own = text.split(QChar(0xFFFF));
    check(CommentStringToLines(CommentLinesToString(own)) == kept(own));
}

void names(const uint8_t* data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    const int maxLen = int(size);
    const QString name = qelfmt::decodeName(bytes.constData(), maxLen);
    const qsizetype zero = bytes.indexOf('\0');
    const QByteArray stored = zero < 0 ? bytes : bytes.first(zero);
    // One character per byte up to the first zero; a name read and written is the same bytes,
    // except for bytes the code page leaves undefined.
    check(name.size() == stored.size());
    const QByteArray written = qelfmt::encodeName(name);
    check(written.size() == stored.size());
    if (!name.contains(QChar::ReplacementCharacter))
        check(written == stored);
    check(qelfmt::decodeName(written.constData(), int(written.size())).size() == name.size());
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    static int argc = 1;
    static char arg0[] = "fuzz_text";
    static char* argv[] = {arg0, nullptr};
    new QCoreApplication(argc, argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    const uint8_t mode = data[0];
    ++data;
    --size;
    if (mode & 1) {
        names(data, size);
    } else {
        const QString text = utf16(data, size);
        commentForms(text);
        // Any text as a name: written, it is one byte per character up to a zero character.
        const QByteArray written = qelfmt::encodeName(text);
        check(written.size() <= text.size());
    }
    return 0;
}
