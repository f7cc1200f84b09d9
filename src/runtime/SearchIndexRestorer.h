#pragma once

#include <QDateTime>
#include <QList>
#include <QObject>
#include <QPointer>

#include <memory>

namespace tessaline {

class CanvasCard;
class CardCatalog;
class DesktopSearchIndexService;
class ModelContext;
class SerialExecutor;

// Gives the desktop's search index the live snips it has no entry for: a
// library restored from a backup, or copied from another machine, without
// the index file beside it, whose snips would otherwise stay out of the
// desktop's search until their text is read again (for most, never); and
// snips brought back from Recently Deleted that went there before their
// entry was written. Asked again while at work, it takes the new ones on. One
// snip at a time, everything it reads off this thread: its long texts from
// the library file on a reader of its own (so the model does not keep the
// texts of a whole library once they are indexed), its picture on the
// store's worker, between the captures the user makes meanwhile.
class SearchIndexRestorer : public QObject
{
    Q_OBJECT
public:
    SearchIndexRestorer(ModelContext &context, DesktopSearchIndexService &index, QObject *parent = nullptr);
    ~SearchIndexRestorer() override;

    // Snips still waiting for their text are left to that reading, which
    // indexes them.
    void restore(const QList<CanvasCard *> &cards);
    // Whether snips are still being looked up or indexed.
    bool isBusy() const { return m_lookups > 0 || m_indexing; }

Q_SIGNALS:
    // Every snip found missing has been handed to the index.
    void finished();

private:
    struct TextsReader;

    void indexNext();
    void readTexts(QPointer<const CanvasCard> card);
    void readPicture(QPointer<const CanvasCard> card, const QDateTime &edited, QString title, QString text);

    ModelContext &m_context;
    DesktopSearchIndexService &m_index;
    QList<QPointer<const CanvasCard>> m_waiting;
    int m_lookups = 0;
    bool m_indexing = false;
    std::unique_ptr<SerialExecutor> m_reading;
    std::shared_ptr<TextsReader> m_texts;
};

} // namespace tessaline
