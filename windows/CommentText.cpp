#include "CommentText.h"

namespace {

constexpr QChar kQuote = u'\'';
constexpr QChar kDelimiter = u'\r';

bool isSeparator(QChar c)
{
    return c.unicode() >= 0x0001 && c.unicode() <= 0x0020;
}

bool needsQuotes(const QString& line)
{
    for (QChar c : line) {
        if (c == kQuote || c == kDelimiter || isSeparator(c))
            return true;
    }
    return false;
}

QString quoted(const QString& line)
{
    QString out;
    out.reserve(line.size() + 2);
    out += kQuote;
    for (QChar c : line) {
        out += c;
        if (c == kQuote)
            out += kQuote;
    }
    out += kQuote;
    return out;
}

} // namespace

QString CommentLinesToString(const QStringList& lines)
{
    if (lines.size() == 1 && lines.front().isEmpty())
        return QString(2, kQuote);
    QString out;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        if (i > 0)
            out += kDelimiter;
        out += needsQuotes(lines[i]) ? quoted(lines[i]) : lines[i];
    }
    return out;
}

QStringList CommentStringToLines(const QString& text)
{
    QStringList lines;
    const qsizetype n = text.size();
    qsizetype i = 0;
    while (true) {
        while (i < n && isSeparator(text[i]))
            ++i;
        if (i >= n)
            break;
        QString token;
        if (text[i] == kQuote) {
            ++i;
            while (i < n) {
                if (text[i] == kQuote) {
                    if (i + 1 < n && text[i + 1] == kQuote) {
                        token += kQuote;
                        i += 2;
                        continue;
                    }
                    ++i; // the closing apostrophe
                    break;
                }
                token += text[i++];
            }
        } else {
            const qsizetype start = i;
            while (i < n && !isSeparator(text[i]))
                ++i;
            token = text.mid(start, i - start);
        }
        lines.append(token);
    }
    return lines;
}
