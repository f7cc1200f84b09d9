#pragma once

#include "runtime/SaveFileFlow.h"

#include <QDateTime>
#include <QHash>
#include <QList>
#include <QLocale>
#include <QString>
#include <QTimeZone>
#include <QUuid>

#include <functional>
#include <optional>

class QWidget;

namespace tessaline {

class Board;
class CanvasCard;
class Connection;

// How a brief's footer tells the time: the moment, the locale and the zone.
// The app takes them from the system when a brief is written; tests fix them.
struct BriefClock
{
    QDateTime now;
    QLocale locale;
    QTimeZone timeZone;

    static BriefClock system();
};

// A note handed on as a Markdown file: title, focus question, one section per
// live card, the connections between them and when it was exported. Holds no
// state; everything runs on the main thread.
namespace BoardBriefExportService {

inline const QString fileExtension = QStringLiteral("md");

// "Snip", "Thought", "Question", "Decision" or "Next Step".
QString sectionLabel(const CanvasCard &card);

// The card's section text under its heading.
QString sectionBody(const CanvasCard &card);

// "- **A** label **B**", or nothing when either end is not in the map.
std::optional<QString> connectionLine(const Connection &connection, const QHash<QUuid, const CanvasCard *> &cardsByID);

// The footer's date and time: the locale's long date (which names no
// weekday) and short time.
QString exportTimestamp(const BriefClock &clock);

// The whole brief, ending in one line feed.
QString markdown(const Board &board, const QList<CanvasCard *> &cards, const QList<Connection *> &connections,
                 const BriefClock &clock);

// The file name the save dialog proposes, without extension.
QString suggestedFileName(const QString &title);

// Writes the brief as UTF-8 (no byte-order mark) in one atomic step; the
// reason comes back when the file could not be written.
Expected<void, QString> writeBrief(const QString &path, const QString &markdown);

// The title a screen shows above the reason of a failed export.
QString saveFailureTitle();

// Asks where to save through the app's save flow (SaveFileFlow), then builds
// the brief from the cards as they are at that moment and writes it. A
// cancelled dialog writes nothing and is no error; a failure comes back to
// the caller, who shows it.
void exportBrief(const Board &board, const QList<CanvasCard *> &cards, const QList<Connection *> &connections,
                 QWidget *parent, SaveFileFlow::Completion completion);

} // namespace BoardBriefExportService

} // namespace tessaline
