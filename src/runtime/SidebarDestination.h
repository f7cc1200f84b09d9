#pragma once

#include "platform/Expected.h"

#include <QByteArray>
#include <QJsonObject>
#include <QString>
#include <QUuid>

#include <optional>

namespace tessaline {

class Board;
class ModelContext;

// A place the main window's sidebar can show.
class SidebarDestination
{
public:
    enum class Kind { notes, captures, favorites, folder, today, inbox, boards, archive, trash, search, board };

    static SidebarDestination notes() { return SidebarDestination(Kind::notes); }
    static SidebarDestination captures() { return SidebarDestination(Kind::captures); }
    static SidebarDestination favorites() { return SidebarDestination(Kind::favorites); }
    static SidebarDestination folder(const QString &name);
    static SidebarDestination today() { return SidebarDestination(Kind::today); }
    static SidebarDestination inbox() { return SidebarDestination(Kind::inbox); }
    static SidebarDestination boards() { return SidebarDestination(Kind::boards); }
    static SidebarDestination archive() { return SidebarDestination(Kind::archive); }
    static SidebarDestination trash() { return SidebarDestination(Kind::trash); }
    static SidebarDestination search() { return SidebarDestination(Kind::search); }
    static SidebarDestination board(const QUuid &id);
    // The notes screen that lists a note: "Notes" leaves the Quick Captures
    // note out, so showing it there would show no note at all. Notes for
    // a note that is not there.
    static SidebarDestination listing(const Board *note);
    // The same for the note of this id among the library's notes.
    static SidebarDestination listing(ModelContext &context, const QUuid &noteID);

    Kind kind() const { return m_kind; }
    // The folder name of a folder destination.
    QString folderName() const { return m_folderName; }
    // The note of a board destination.
    QUuid boardID() const { return m_boardID; }

    // {"<case>":{}} or {"folder":{"_0":"name"}} / {"board":{"_0":"UUID"}}.
    QJsonObject encoded() const;
    // The error text on failure.
    static Expected<SidebarDestination, QString> decode(const QJsonObject &object);

    friend bool operator==(const SidebarDestination &, const SidebarDestination &) = default;

private:
    explicit SidebarDestination(Kind kind) : m_kind(kind) {}

    Kind m_kind = Kind::notes;
    QString m_folderName;
    QUuid m_boardID;
};

size_t qHash(const SidebarDestination &destination, size_t seed = 0);

} // namespace tessaline
