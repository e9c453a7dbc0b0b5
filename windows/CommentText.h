// The comment box shows a result's comment as lines; the result keeps one string. The two
// forms convert with carriage return as the delimiter and the apostrophe as the quote, the
// way archive files have always stored comments, so that old archives read back the same
// lines.
#pragma once

#include <QString>
#include <QStringList>

// No lines give an empty string and one empty line two apostrophes. Otherwise every line
// holding an apostrophe or a character U+0001..U+0020 is quoted (inner apostrophes doubled),
// and the lines are joined with carriage returns.
QString CommentLinesToString(const QStringList& lines);

// Characters U+0001..U+0020 separate tokens and runs of them are skipped; a token that opens
// with an apostrophe runs to its closing one (a doubled apostrophe stands for one, a missing
// closing one means the end of the text). Each token is one line, so empty lines between
// others are not kept.
QStringList CommentStringToLines(const QString& text);
