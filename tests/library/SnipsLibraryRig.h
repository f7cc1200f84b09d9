#pragma once

#include "../support/LibraryBuilder.h"

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

#include <QImage>
#include <QTemporaryDir>

#include <memory>

namespace tessaline::testing {

// The library tests' name for the shared clock.
inline QDateTime snipTime(qint64 seconds)
{
    return at(seconds);
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
        Board *board = testing::addNote(context(), NoteFields{.title = title, .inbox = inbox, .id = id});
        board->normalizeWritingDocumentStorage(board->createdAt());
        return board;
    }

    CanvasCard *addSnip(const QUuid &boardID, const QString &title, qint64 created,
                        std::optional<qint64> captured = std::nullopt, const QUuid &id = QUuid::createUuid())
    {
        return addCard(context(), boardID,
                       CardFields{.title = title,
                                .created = at(created),
                                .captured = captured ? std::optional<QDateTime>(at(*captured)) : std::nullopt,
                                .id = id});
    }

    Connection *connect(const CanvasCard *source, const CanvasCard *destination)
    {
        return addConnection(context(), source, destination);
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
