#include "runtime/SidebarDestination.h"

#include "model/Board.h"
#include "model/ModelContext.h"
#include "platform/UuidText.h"

#include <QHash>

namespace tessaline {
namespace {

struct CaseName
{
    SidebarDestination::Kind kind;
    QLatin1StringView name;
};

constexpr CaseName kCaseNames[] = {
    {SidebarDestination::Kind::notes, QLatin1StringView("notes")},
    {SidebarDestination::Kind::captures, QLatin1StringView("captures")},
    {SidebarDestination::Kind::favorites, QLatin1StringView("favorites")},
    {SidebarDestination::Kind::folder, QLatin1StringView("folder")},
    {SidebarDestination::Kind::today, QLatin1StringView("today")},
    {SidebarDestination::Kind::inbox, QLatin1StringView("inbox")},
    {SidebarDestination::Kind::boards, QLatin1StringView("boards")},
    {SidebarDestination::Kind::archive, QLatin1StringView("archive")},
    {SidebarDestination::Kind::trash, QLatin1StringView("trash")},
    {SidebarDestination::Kind::search, QLatin1StringView("search")},
    {SidebarDestination::Kind::board, QLatin1StringView("board")},
};

QLatin1StringView caseName(SidebarDestination::Kind kind)
{
    for (const CaseName &entry : kCaseNames) {
        if (entry.kind == kind)
            return entry.name;
    }
    return QLatin1StringView("notes");
}

const QLatin1StringView kPayload("_0");

} // namespace

SidebarDestination SidebarDestination::folder(const QString &name)
{
    SidebarDestination destination(Kind::folder);
    destination.m_folderName = name;
    return destination;
}

SidebarDestination SidebarDestination::board(const QUuid &id)
{
    SidebarDestination destination(Kind::board);
    destination.m_boardID = id;
    return destination;
}

SidebarDestination SidebarDestination::listing(const Board *note)
{
    return note && note->isInbox() ? inbox() : notes();
}

SidebarDestination SidebarDestination::listing(ModelContext &context, const QUuid &noteID)
{
    if (const auto all = context.fetchBoards()) {
        for (const Board *note : *all) {
            if (note->id() == noteID)
                return listing(note);
        }
    }
    return notes();
}

QJsonObject SidebarDestination::encoded() const
{
    QJsonObject payload;
    if (m_kind == Kind::folder)
        payload.insert(kPayload, m_folderName);
    else if (m_kind == Kind::board)
        payload.insert(kPayload, uuidText(m_boardID));
    return QJsonObject{{caseName(m_kind), payload}};
}

Expected<SidebarDestination, QString> SidebarDestination::decode(const QJsonObject &object)
{
    std::optional<CaseName> found;
    int recognised = 0;
    for (const CaseName &entry : kCaseNames) {
        if (object.contains(entry.name)) {
            found = entry;
            ++recognised;
        }
    }
    if (recognised != 1)
        return unexpected(QStringLiteral("Invalid number of keys found, expected one."));

    const QJsonValue nested = object.value(found->name);
    if (!nested.isObject())
        return unexpected(QStringLiteral("Expected to decode a keyed container for “%1”.").arg(found->name));
    const QJsonValue payload = nested.toObject().value(kPayload);
    switch (found->kind) {
    case Kind::folder:
        if (!payload.isString())
            return unexpected(QStringLiteral("Expected a string for the folder name."));
        return folder(payload.toString());
    case Kind::board: {
        const auto id = payload.isString() ? parseUuid(payload.toString()) : std::nullopt;
        if (!id)
            return unexpected(QStringLiteral("Expected a UUID for the note."));
        return board(*id);
    }
    default:
        return SidebarDestination(found->kind);
    }
}

size_t qHash(const SidebarDestination &destination, size_t seed)
{
    return qHashMulti(seed, int(destination.kind()), destination.folderName(), destination.boardID());
}

} // namespace tessaline
