#include "platform/TextUtilities.h"

#include <QRegularExpression>
#include <QTextBoundaryFinder>

#include <algorithm>

namespace tessaline {

QString trimmedWhitespace(const QString &text)
{
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && text.at(begin).isSpace())
        ++begin;
    while (end > begin && text.at(end - 1).isSpace())
        --end;
    if (begin == 0 && end == text.size())
        return text;
    return text.mid(begin, end - begin);
}

QString collapsedWhitespace(const QString &text)
{
    QString result;
    result.reserve(text.size());
    bool pendingSpace = false;
    for (const QChar c : text) {
        if (c.isSpace()) {
            pendingSpace = !result.isEmpty();
            continue;
        }
        if (pendingSpace)
            result.append(u' ');
        pendingSpace = false;
        result.append(c);
    }
    return result;
}

bool isBlank(const QString &text)
{
    for (QChar c : text) {
        if (!c.isSpace())
            return false;
    }
    return true;
}

qsizetype graphemeCount(const QString &text)
{
    if (text.isEmpty())
        return 0;
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text);
    qsizetype count = 0;
    while (finder.toNextBoundary() != -1)
        ++count;
    return count;
}

QString prefixWithin(const QString &text, qsizetype maximum)
{
    if (text.size() <= maximum)
        return text;
    constexpr qsizetype context = 64;
    const qsizetype start = std::max<qsizetype>(0, maximum - context);
    const QStringView around = QStringView(text).sliced(start, std::min(text.size() - start, 2 * context));
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, around.data(), around.size());
    finder.setPosition(maximum - start);
    if (!finder.isAtBoundary() && finder.toPreviousBoundary() == -1)
        return text.first(maximum);
    return text.first(start + finder.position());
}

QString graphemePrefix(const QString &text, qsizetype count)
{
    if (count <= 0)
        return QString();
    // The finder works out every boundary of what it is given, so it is
    // given a window a few units per character long, widened only when the
    // characters are longer. A boundary before the window's end is where it
    // is in the whole text: it depends on what precedes it and on the one
    // unit after it.
    for (qsizetype window = std::min(text.size(), count * 4 + 16);; window = std::min(text.size(), window * 2)) {
        QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, QStringView(text).left(window));
        qsizetype seen = 0;
        qsizetype position = 0;
        while (seen < count) {
            const qsizetype next = finder.toNextBoundary();
            if (next == -1)
                break;
            position = next;
            ++seen;
        }
        if (seen == count && (position < window || window == text.size()))
            return text.left(position);
        if (window == text.size())
            return text;
    }
}

namespace {

// The conjoining jamo a Hangul syllable decomposes into, and the syllables.
constexpr char16_t hangulSyllableFirst = 0xAC00;
constexpr char16_t hangulLeadFirst = 0x1100;
constexpr int hangulLeadCount = 19;
constexpr char16_t hangulVowelFirst = 0x1161;
constexpr int hangulVowelCount = 21;
// One before the first trailing consonant: "no trailing consonant".
constexpr char16_t hangulTrailBase = 0x11A7;
constexpr int hangulTrailCount = 28;

constexpr char32_t sharpS = 0x00DF;
constexpr char32_t capitalSharpS = 0x1E9E;

// Bytes the code point starting at `at` takes in a file name or any other
// UTF-8 the system writes: a surrogate without its partner is written as
// U+FFFD, three bytes (QString::toUtf8 would count one "?").
qsizetype utf8Length(QStringView text, qsizetype at, qsizetype *units)
{
    const char16_t c = text.at(at).unicode();
    *units = 1;
    if (QChar::isHighSurrogate(c) && at + 1 < text.size() && QChar::isLowSurrogate(text.at(at + 1).unicode())) {
        *units = 2;
        return 4;
    }
    if (c < 0x80)
        return 1;
    if (c < 0x800)
        return 2;
    return 3;
}

} // namespace

QString utf8PrefixFitting(const QString &text, qsizetype maxBytes)
{
    // Code point by code point: the longest prefix that fits, and the last
    // grapheme boundary within it.
    qsizetype bytes = 0;
    qsizetype fitting = 0;
    for (qsizetype units = 0; fitting < text.size(); fitting += units) {
        const qsizetype length = utf8Length(text, fitting, &units);
        if (bytes + length > maxBytes)
            break;
        bytes += length;
    }
    if (fitting == text.size())
        return text;
    // Cut whole characters; only a first character that alone does not fit
    // (a letter with a long run of combining marks) is cut between its code
    // points, so that a name never shrinks to nothing.
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text);
    finder.setPosition(fitting);
    if (!finder.isAtBoundary()) {
        const qsizetype boundary = finder.toPreviousBoundary();
        if (boundary > 0)
            fitting = boundary;
    }
    return text.left(fitting);
}

QString menuEscapedText(const QString &text)
{
    QString escaped = text;
    // A tab starts the entry's shortcut column: the rest of a title would
    // stand at the right edge, as if it were a key.
    return escaped.replace(u'&', QStringLiteral("&&")).replace(u'\t', u' ');
}


QString shortTimeFormat(const QLocale &locale)
{
    QString format = locale.timeFormat(QLocale::ShortFormat);
    static const QRegularExpression seconds(QStringLiteral("[:.]ss?(\\.z+)?"));
    format.remove(seconds);
    return format.trimmed();
}

namespace {

struct TimeUnit
{
    qint64 seconds;
    const char *name;
    const char *past;
    const char *future;
};

// Largest first.
constexpr TimeUnit timeUnits[] = {{365 * 86400, "year", "last year", "next year"},
                                  {30 * 86400, "month", "last month", "next month"},
                                  {7 * 86400, "week", "last week", "next week"},
                                  {86400, "day", "yesterday", "tomorrow"},
                                  {3600, "hour", nullptr, nullptr},
                                  {60, "minute", nullptr, nullptr},
                                  {1, "second", nullptr, nullptr}};

// The index in timeUnits of the unit a span of seconds is told in.
qsizetype timeUnitOf(qint64 span)
{
    for (qsizetype unit = 0; unit < qsizetype(std::size(timeUnits)); ++unit) {
        if (span >= timeUnits[unit].seconds)
            return unit;
    }
    return qsizetype(std::size(timeUnits)) - 1;
}

} // namespace

QDateTime relativeTimeTextChange(const QDateTime &date, const QDateTime &now, RelativeTimeStyle style)
{
    const qint64 seconds = date.secsTo(now);
    const bool named = style == RelativeTimeStyle::named;
    if (seconds < 0) {
        // Ahead: the count goes down as the whole seconds ahead do, and
        // names say "now" from the last minute on until a minute has passed.
        const qint64 span = -seconds;
        if (named && span < 60)
            return date.addSecs(60);
        const TimeUnit &unit = timeUnits[timeUnitOf(span)];
        const qint64 lowest = span / unit.seconds * unit.seconds;
        return date.addSecs(-lowest).addMSecs(1);
    }
    if (named && seconds < 60)
        return date.addSecs(60);
    const qsizetype unit = timeUnitOf(seconds);
    qint64 next = (seconds / timeUnits[unit].seconds + 1) * timeUnits[unit].seconds;
    if (unit > 0)
        next = std::min(next, timeUnits[unit - 1].seconds);
    return date.addSecs(next);
}

QString relativeTimeText(const QDateTime &date, const QDateTime &now, RelativeTimeStyle style)
{
    const qint64 seconds = date.secsTo(now);
    const bool ahead = seconds < 0;
    const qint64 span = ahead ? -seconds : seconds;
    if (span < 60 && style == RelativeTimeStyle::named)
        return QStringLiteral("now");
    const TimeUnit *unit = &timeUnits[timeUnitOf(span)];
    const qint64 count = span / unit->seconds;
    if (count == 1 && style == RelativeTimeStyle::named && unit->past)
        return QLatin1String(ahead ? unit->future : unit->past);
    const QString amount = QStringLiteral("%1 %2%3")
                               .arg(QString::number(count), QLatin1String(unit->name),
                                    count == 1 ? QString() : QStringLiteral("s"));
    return ahead ? QStringLiteral("in ") + amount : amount + QStringLiteral(" ago");
}

QString foldedSearchText(const QString &text)
{
    // Most text is plain ASCII, which has no marks, wide forms or
    // multi-letter folds.
    if (std::all_of(text.cbegin(), text.cend(), [](QChar c) { return c.unicode() < 0x80; }))
        return text.toLower();
    // Compatibility decomposition folds width and ligatures and splits
    // accented letters from their marks; the marks are then dropped and case
    // folded. It also splits each Hangul syllable into its jamo, which are
    // letters, not marks: those are put back together, or the first jamo of
    // a syllable would find every syllable starting with them.
    const QString decomposed = text.normalized(QString::NormalizationForm_KD);
    QString folded;
    folded.reserve(decomposed.size());
    const QChar *chars = decomposed.constData();
    const qsizetype size = decomposed.size();
    bool hasSharpS = false;
    for (qsizetype i = 0; i < size; ++i) {
        const char16_t unit = chars[i].unicode();
        if (unit >= hangulLeadFirst && unit < hangulLeadFirst + hangulLeadCount && i + 1 < size
            && chars[i + 1].unicode() >= hangulVowelFirst && chars[i + 1].unicode() < hangulVowelFirst + hangulVowelCount) {
            int syllable = ((unit - hangulLeadFirst) * hangulVowelCount + (chars[i + 1].unicode() - hangulVowelFirst))
                * hangulTrailCount;
            i += 1;
            if (i + 1 < size && chars[i + 1].unicode() > hangulTrailBase
                && chars[i + 1].unicode() < hangulTrailBase + hangulTrailCount) {
                syllable += chars[i + 1].unicode() - hangulTrailBase;
                i += 1;
            }
            folded.append(QChar(char16_t(hangulSyllableFirst + syllable)));
            continue;
        }
        const bool pair = chars[i].isHighSurrogate() && i + 1 < size && chars[i + 1].isLowSurrogate();
        const char32_t code = pair ? QChar::surrogateToUcs4(chars[i], chars[i + 1]) : unit;
        if (QChar::category(code) != QChar::Mark_NonSpacing) {
            folded.append(chars[i]);
            if (pair)
                folded.append(chars[i + 1]);
            hasSharpS = hasSharpS || code == sharpS || code == capitalSharpS;
        }
        if (pair)
            ++i;
    }
    folded = folded.toCaseFolded();
    // Qt folds case letter by letter; the sharp s is the one letter whose
    // full folding is two letters and that decomposition leaves alone.
    if (hasSharpS)
        folded.replace(QChar(sharpS), QLatin1String("ss"));
    return folded;
}

namespace {

// Whether Qt's letter-by-letter case folding compares the text as a full
// folding would: no letter that folds to several, and no marks or jamo,
// which may or may not be composed with what they follow.
bool foldsLetterByLetter(QStringView text)
{
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t unit = text[i].unicode();
        // Below the combining marks, only the sharp s folds to more.
        if (unit < 0x0300) {
            if (unit == sharpS)
                return false;
            continue;
        }
        char32_t code = unit;
        if (text[i].isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate()) {
            code = QChar::surrogateToUcs4(text[i], text[i + 1]);
            ++i;
        }
        if (code == capitalSharpS || (code >= 0xFB00 && code <= 0xFB06) || QChar::isMark(code)
            || (code >= 0x1100 && code <= 0x11FF) || (code >= 0xF900 && code <= 0xFAFF)
            || (code >= 0x2F800 && code <= 0x2FA1F))
            return false;
    }
    return true;
}

// Composed, then case folded in full.
QString foldedInFull(QStringView text)
{
    QString folded = text.toString().normalized(QString::NormalizationForm_C).toCaseFolded();
    // Qt folds letter by letter and leaves these alone (the capital sharp s
    // it folds to the small one).
    static constexpr struct
    {
        char16_t letter;
        const char *letters;
    } multiLetterFolds[] = {{0x00DF, "ss"}, {0xFB00, "ff"}, {0xFB01, "fi"}, {0xFB02, "fl"},
                            {0xFB03, "ffi"}, {0xFB04, "ffl"}, {0xFB05, "st"}, {0xFB06, "st"}};
    for (const auto &fold : multiLetterFolds) {
        if (folded.contains(QChar(fold.letter)))
            folded.replace(QChar(fold.letter), QLatin1String(fold.letters));
    }
    return folded;
}

bool startsWithMark(QStringView text)
{
    if (text.isEmpty())
        return false;
    if (text.size() > 1 && text[0].isHighSurrogate() && text[1].isLowSurrogate())
        return QChar::isMark(QChar::surrogateToUcs4(text[0], text[1]));
    return text[0].isMark();
}

} // namespace

CaseInsensitiveNeedle::CaseInsensitiveNeedle(QStringView text)
    : m_folded(foldedInFull(text))
{
}

bool CaseInsensitiveNeedle::isFoundIn(QStringView haystack) const
{
    if (m_folded.isEmpty())
        return false;
    // Most texts hold nothing a full folding treats differently, and Qt's
    // own comparison spares folding a copy of them on every key.
    if (foldsLetterByLetter(haystack))
        return haystack.contains(m_folded, Qt::CaseInsensitive);
    const QString folded = foldedInFull(haystack);
    for (qsizetype at = folded.indexOf(m_folded); at >= 0; at = folded.indexOf(m_folded, at + 1)) {
        // A hit that ends in the middle of a letter's marks is a different letter.
        if (!startsWithMark(QStringView(folded).mid(at + m_folded.size())))
            return true;
    }
    return false;
}

} // namespace tessaline
