#pragma once

#include <QDateTime>
#include <QLocale>
#include <QString>

namespace tessaline {

// "Whitespace and newlines" as the library means it: every character for
// which QChar::isSpace holds, trimmed at both ends only.
QString trimmedWhitespace(const QString &text);

// Every run of whitespace and newlines made one space, trimmed at both ends.
QString collapsedWhitespace(const QString &text);

// True when nothing but whitespace and newlines is left.
bool isBlank(const QString &text);

// User-perceived characters (grapheme clusters), not code units.
qsizetype graphemeCount(const QString &text);

// The first `count` grapheme clusters of the text (all of it when shorter).
QString graphemePrefix(const QString &text, qsizetype count);

// At most `maximum` UTF-16 units from the start, ending between two
// characters a reader sees as one (an emoji sequence, a letter and its
// accents) where one lies near the cut. Only the stretch around the cut is
// examined, so a text of megabytes costs no more than a short one.
QString prefixWithin(const QString &text, qsizetype maximum);

// The longest grapheme-whole prefix whose UTF-8 encoding fits `maxBytes`;
// when not even the first grapheme fits, the longest prefix of whole code
// points that does. A lone surrogate counts as U+FFFD (three bytes), as the
// system writes it in a file name, so the result never runs over.
QString utf8PrefixFitting(const QString &text, qsizetype maxBytes);

// User text for a menu entry: a lone "&" would become a mnemonic marker,
// and a tab would start the shortcut column.
QString menuEscapedText(const QString &text);

// How a relative time names a span of one day, week, month or year: by its
// name ("yesterday", "next week") or by its number ("1 day ago"). Numbers
// also count the seconds of the last minute, where names say "now".
enum class RelativeTimeStyle { named, numeric };

// How long ago `date` was, seen at `now`, in the largest whole unit:
// "now", "1 minute ago", "3 hours ago", "yesterday", "in 5 days".
QString relativeTimeText(const QDateTime &date, const QDateTime &now,
                         RelativeTimeStyle style = RelativeTimeStyle::named);
// The first moment after `now` at which relativeTimeText of `date` reads
// otherwise, so a shown text can be brought up to date just then.
QDateTime relativeTimeTextChange(const QDateTime &date, const QDateTime &now,
                                 RelativeTimeStyle style = RelativeTimeStyle::named);

// The locale's short time style, hours and minutes only: some locales'
// short style (the C locale's among them) still shows seconds.
QString shortTimeFormat(const QLocale &locale);

// The text as searches compare it: case folded in full (ß as ss), accents
// dropped, width and ligatures folded by compatibility decomposition;
// Hangul syllables stay whole.
QString foldedSearchText(const QString &text);

// A text looked for in many others with letter case set aside and
// diacritics kept: case is folded in full (ß as ss, the Latin ligatures as
// their letters), and a letter with its marks is one character whether it
// is written composed or not, so "e" is not found in "é" either way.
// Folded once, for the many texts a filter holds it against.
class CaseInsensitiveNeedle
{
public:
    explicit CaseInsensitiveNeedle(QStringView text);

    // An empty needle is found nowhere.
    bool isFoundIn(QStringView haystack) const;

private:
    QString m_folded;
};

// True for the characters that break lines: LF, VT, FF, CR, NEL, LS, PS.
// Inline: text is scanned for line breaks one character at a time.
inline bool isLineBreak(QChar c)
{
    const char16_t u = c.unicode();
    return (u >= 0x000A && u <= 0x000D) || u == 0x0085 || u == 0x2028 || u == 0x2029;
}

} // namespace tessaline
