#pragma once

#include "runtime/LibraryQuery.h"
#include "runtime/NavigationState.h"
#include "model/AnnotationDocument.h"
#include "model/Board.h"
#include "model/CanvasCard.h"
#include "model/Connection.h"
#include "model/ModelContainer.h"
#include "model/ModelContext.h"
#include "platform/Pasteboard.h"
#include "platform/UserDefaults.h"

#include <QBuffer>
#include <QImage>
#include <QTemporaryDir>

#include <memory>

namespace tessaline::testing {

inline QDateTime snipTime(qint64 seconds)
{
    return QDateTime::fromSecsSinceEpoch(1'800'000'000 + seconds, Qt::UTC);
}

inline QByteArray pngOf(const QColor &color, QSize size = QSize(64, 40))
{
    QImage image(size, QImage::Format_ARGB32);
    image.fill(color);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

// A filled rectangle over the whole picture, so a rendered copy shows it
// everywhere.
inline QByteArray coveringRectangle(const AnnotationColor &color)
{
    AnnotationDocument document;
    AnnotationItem item;
    item.id = QUuid::createUuid();
    item.tool = AnnotationTool::rectangle;
    item.points = {{0, 0}, {1, 1}};
    item.color = color;
    item.lineWidth = 60;
    document.items.append(item);
    return *document.encode();
}

class RecordingPasteboard : public Pasteboard
{
public:
    void clearContents() override { entries.clear(); }
    void declareTypes(const QStringList &types) override { declared = types; }
    bool setData(const QByteArray &data, const QString &type) override
    {
        entries.insert(type, data);
        return true;
    }
    QStringList declared;
    QHash<QString, QByteArray> entries;
};

// A library in a real store file, its live query and the navigation state.
struct SnipsLibraryRig
{
    SnipsLibraryRig()
    {
        defaults = std::make_unique<UserDefaults>(dir.filePath("settings.ini"));
        navigation = std::make_unique<NavigationState>(*defaults);
        ModelContainer::Configuration configuration;
        configuration.directory = dir.path();
        auto opened = ModelContainer::open(configuration);
        if (!opened)
            qFatal("store did not open");
        container = std::move(*opened);
        library = std::make_unique<LibraryQuery>(context());
    }

    ModelContext &context() { return *container->mainContext(); }

    Board *addNote(const QString &title, bool inbox = false, const QUuid &id = QUuid::createUuid())
    {
        Board::Init init;
        init.id = id;
        init.title = title;
        init.isInbox = inbox;
        init.createdAt = snipTime(0);
        init.updatedAt = snipTime(0);
        init.lastOpenedAt = snipTime(0);
        init.hasCompletedNoteMigration = true;
        auto *board = new Board(init);
        context().insert(board);
        return board;
    }

    CanvasCard *addSnip(const QUuid &boardID, const QString &title, qint64 created,
                        std::optional<qint64> captured = std::nullopt, const QUuid &id = QUuid::createUuid())
    {
        CanvasCard::Init init;
        init.id = id;
        init.boardID = boardID;
        init.kind = CardKind::snip;
        init.title = title;
        init.createdAt = snipTime(created);
        if (captured)
            init.capturedAt = snipTime(*captured);
        auto *card = new CanvasCard(init);
        context().insert(card);
        return card;
    }

    Connection *connect(const CanvasCard *source, const CanvasCard *destination)
    {
        Connection::Values values;
        values.boardID = source->boardID();
        values.sourceCardID = source->id();
        values.destinationCardID = destination->id();
        auto *connection = new Connection(values);
        context().insert(connection);
        return connection;
    }

    void save()
    {
        if (!context().save())
            qFatal("fixture save failed");
    }

    QTemporaryDir dir;
    std::unique_ptr<UserDefaults> defaults;
    std::unique_ptr<NavigationState> navigation;
    std::unique_ptr<ModelContainer> container;
    std::unique_ptr<LibraryQuery> library;
};

} // namespace tessaline::testing
