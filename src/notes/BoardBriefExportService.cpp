#include "notes/BoardBriefExportService.h"

#include "runtime/ImageExportService.h"
#include "model/Board.h"
#include "model/CanvasCard.h"
#include "model/Connection.h"
#include "platform/TextUtilities.h"

#include <QPointer>

#include <algorithm>

namespace tessaline {

namespace {

constexpr qsizetype recognisedTextLimit = 600;

bool isAsciiLetter(QChar c)
{
    return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z');
}

const QString blockSeparator = QStringLiteral("\n\n");

template <typename T>
QList<QPointer<T>> guarded(const QList<T *> &entities)
{
    QList<QPointer<T>> result;
    result.reserve(entities.size());
    for (T *entity : entities)
        result.append(entity);
    return result;
}

template <typename T>
QList<T *> stillAlive(const QList<QPointer<T>> &entities)
{
    QList<T *> result;
    result.reserve(entities.size());
    for (const QPointer<T> &entity : entities) {
        if (entity)
            result.append(entity.data());
    }
    return result;
}

// The locale's long date format without its weekday: the long style names
// the day of the month, not of the week. The weekday field leaves with the
// spaces and punctuation that joined it to its neighbour; literal text and
// quoted words stay.
QString longDateFormatWithoutWeekday(const QLocale &locale)
{
    enum class Kind { field, quoted, literal };
    struct Segment
    {
        Kind kind;
        QString text;
    };
    const QString format = locale.dateFormat(QLocale::LongFormat);
    QList<Segment> segments;
    for (qsizetype i = 0; i < format.size();) {
        const QChar c = format.at(i);
        qsizetype end = i + 1;
        Kind kind = Kind::literal;
        if (c == u'\'') {
            kind = Kind::quoted;
            while (end < format.size() && format.at(end) != u'\'')
                ++end;
            end = std::min(end + 1, format.size());
        } else if (isAsciiLetter(c)) {
            kind = Kind::field;
            while (end < format.size() && format.at(end) == c)
                ++end;
        } else {
            while (end < format.size() && format.at(end) != u'\'' && !isAsciiLetter(format.at(end)))
                ++end;
        }
        segments.append({kind, format.mid(i, end - i)});
        i = end;
    }
    auto isJoint = [&](qsizetype index) {
        if (index < 0 || index >= segments.size() || segments.at(index).kind != Kind::literal)
            return false;
        const QString &text = segments.at(index).text;
        return std::all_of(text.cbegin(), text.cend(), [](QChar c) { return c.isSpace() || c.isPunct(); });
    };
    for (qsizetype i = 0; i < segments.size(); ++i) {
        const Segment &segment = segments.at(i);
        if (segment.kind != Kind::field || segment.text.front() != u'd' || segment.text.size() < 3)
            continue;
        if (isJoint(i + 1))
            segments.removeAt(i + 1);
        else if (isJoint(i - 1))
            segments.removeAt(--i);
        segments.removeAt(i--);
    }
    QString result;
    for (const Segment &segment : std::as_const(segments))
        result += segment.text;
    return result.trimmed();
}

} // namespace

BriefClock BriefClock::system()
{
    return {QDateTime::currentDateTimeUtc(), QLocale::system(), QTimeZone::systemTimeZone()};
}

namespace BoardBriefExportService {

QString sectionLabel(const CanvasCard &card)
{
    if (card.kind() == CardKind::snip)
        return QStringLiteral("Snip");
    return displayName(card.thoughtKind());
}

QString sectionBody(const CanvasCard &card)
{
    const QString primary = card.kind() == CardKind::snip ? card.contextText() : card.markdownText();
    if (!isBlank(primary))
        return primary;
    if (!card.ocrText().isEmpty())
        return graphemePrefix(card.ocrText(), recognisedTextLimit);
    return card.displayTitle();
}

std::optional<QString> connectionLine(const Connection &connection, const QHash<QUuid, const CanvasCard *> &cardsByID)
{
    const CanvasCard *source = cardsByID.value(connection.sourceCardID());
    const CanvasCard *destination = cardsByID.value(connection.destinationCardID());
    if (!source || !destination)
        return std::nullopt;
    const std::optional<QString> label = connection.label();
    const QString verb = label && !label->isEmpty() ? *label : QStringLiteral("relates to");
    return QStringLiteral("- **") + source->displayTitle() + QStringLiteral("** ") + verb + QStringLiteral(" **")
        + destination->displayTitle() + QStringLiteral("**");
}

QString exportTimestamp(const BriefClock &clock)
{
    const QDateTime local = clock.now.toTimeZone(clock.timeZone);
    return clock.locale.toString(local.date(), longDateFormatWithoutWeekday(clock.locale)) + QLatin1Char(' ')
        + clock.locale.toString(local.time(), shortTimeFormat(clock.locale));
}

QString markdown(const Board &board, const QList<CanvasCard *> &cards, const QList<Connection *> &connections,
                 const BriefClock &clock)
{
    QStringList blocks;
    blocks.append(QStringLiteral("# ") + board.title());
    if (const std::optional<QString> focus = board.focusQuestion(); focus && !focus->isEmpty())
        blocks.append(QStringLiteral("> **Focus:** ") + *focus);

    QList<const CanvasCard *> sections;
    sections.reserve(cards.size());
    for (const CanvasCard *card : cards) {
        if (card && card->isLive() && card->kindRawValue() != u"ghost")
            sections.append(card);
    }
    std::stable_sort(sections.begin(), sections.end(), [](const CanvasCard *a, const CanvasCard *b) {
        return a->createdAt() < b->createdAt();
    });

    QHash<QUuid, const CanvasCard *> cardsByID;
    cardsByID.reserve(sections.size());
    for (const CanvasCard *card : sections) {
        blocks.append(QStringLiteral("## ") + sectionLabel(*card) + QStringLiteral(": ") + card->displayTitle()
                      + blockSeparator + sectionBody(*card));
        cardsByID.insert(card->id(), card);
    }

    QStringList lines;
    for (const Connection *connection : connections) {
        if (!connection || !connection->isLive())
            continue;
        if (const std::optional<QString> line = connectionLine(*connection, cardsByID))
            lines.append(*line);
    }
    if (!lines.isEmpty())
        blocks.append(QStringLiteral("## Connections") + blockSeparator + lines.join(QLatin1Char('\n')));

    blocks.append(QStringLiteral("---\nExported from Tessaline on ") + exportTimestamp(clock) + QLatin1Char('.'));
    return blocks.join(blockSeparator) + QLatin1Char('\n');
}

QString suggestedFileName(const QString &title)
{
    return ImageExportService::safeFileNameStem(title, u"/:", QStringLiteral("Tessaline Brief"), -1,
                                                QLatin1Char('.') + fileExtension);
}

Expected<void, QString> writeBrief(const QString &path, const QString &markdown)
{
    // QString::toUtf8 writes no byte-order mark.
    return SaveFileFlow::writeFileAtomically(path, markdown.toUtf8());
}

QString saveFailureTitle()
{
    return QStringLiteral("The note brief could not be saved.");
}

void exportBrief(const Board &board, const QList<CanvasCard *> &cards, const QList<Connection *> &connections,
                 QWidget *parent, SaveFileFlow::Completion completion)
{
    SaveFileRequest request;
    request.fileName = suggestedFileName(board.title()) + QLatin1Char('.') + fileExtension;
    request.mimeTypes = {QStringLiteral("text/markdown"), QStringLiteral("text/plain")};
    request.defaultSuffix = fileExtension;
    const QPointer<const Board> note(&board);
    const auto contents = [note, guardedCards = guarded(cards),
                           guardedConnections = guarded(connections)]() -> Expected<QByteArray, QString> {
        if (!note)
            return unexpected(QStringLiteral("The note is no longer open."));
        // Built now, so the brief shows the cards as they are when it is
        // written; QString::toUtf8 writes no byte-order mark.
        const QString text = markdown(*note, stillAlive(guardedCards), stillAlive(guardedConnections),
                                      BriefClock::system());
        return text.toUtf8();
    };
    SaveFileFlow::save(parent, request, contents, std::move(completion));
}

} // namespace BoardBriefExportService

} // namespace tessaline
