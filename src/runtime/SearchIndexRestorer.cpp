#include "runtime/SearchIndexRestorer.h"

#include "model/Board.h"
#include "model/CanvasCard.h"
#include "model/CardCatalog.h"
#include "model/ModelContext.h"
#include "platform/SerialExecutor.h"
#include "runtime/DesktopSearchIndexService.h"
#include "runtime/TextRedaction.h"

#include <QSet>

#include <optional>

namespace tessaline {

// The library file's reader, made and ended on the reading thread: its
// connection belongs to that thread.
struct SearchIndexRestorer::TextsReader
{
    QString filePath;
    std::unique_ptr<CardCatalog> catalog;
};

SearchIndexRestorer::SearchIndexRestorer(ModelContext &context, DesktopSearchIndexService &index, QObject *parent)
    : QObject(parent)
    , m_context(context)
    , m_index(index)
{
}

SearchIndexRestorer::~SearchIndexRestorer() = default;

void SearchIndexRestorer::restore(const QList<CanvasCard *> &cards)
{
    const auto pending = m_context.textRecognitionsPending();
    const QSet<QUuid> waiting = pending ? QSet<QUuid>(pending->cbegin(), pending->cend()) : QSet<QUuid>();
    QList<QUuid> snips;
    walkCards(cards, 0, [&](qsizetype, const CanvasCard *card) {
        if (card->isSnip() && card->isLive() && !waiting.contains(card->id()))
            snips.append(card->id());
    });
    ++m_lookups;
    m_index.unindexed(std::move(snips), this).then(this, [this](const Expected<QList<QUuid>, SearchIndexError> &missing) {
        --m_lookups;
        if (missing && !missing->isEmpty()) {
            const QSet<QUuid> wanted(missing->cbegin(), missing->cend());
            if (const auto cards = m_context.fetchCards()) {
                walkCards(*cards, 0, [&](qsizetype, const CanvasCard *card) {
                    if (wanted.contains(card->id()))
                        m_waiting.append(card);
                });
            }
        }
        // One snip at a time: the ones found now wait behind those under way.
        if (!m_indexing)
            indexNext();
    });
}

void SearchIndexRestorer::indexNext()
{
    QPointer<const CanvasCard> card;
    while (!card && !m_waiting.isEmpty()) {
        card = m_waiting.takeFirst();
        if (card && (!card->modelContext() || !card->isLive()))
            card = nullptr;
    }
    m_indexing = bool(card);
    if (!card) {
        // The reader's connection goes with its thread.
        m_reading.reset();
        m_texts.reset();
        if (m_lookups == 0)
            Q_EMIT finished();
        return;
    }
    readTexts(card);
}

void SearchIndexRestorer::readTexts(QPointer<const CanvasCard> card)
{
    const qint64 row = card->unreadTextsRow();
    const QString filePath = m_context.filePath();
    // An edit from here on reads the card again.
    const QDateTime edited = card->updatedAt();
    if (row == 0 || filePath.isEmpty()) {
        // Read already, or a library held in memory: the card has them.
        readPicture(card, edited, card->displayTitle(), card->combinedText());
        return;
    }
    if (!m_reading) {
        m_reading = std::make_unique<SerialExecutor>(QStringLiteral("Index restoring"),
                                                     SerialExecutor::Urgency::background);
        m_texts = std::make_shared<TextsReader>(TextsReader{filePath, nullptr});
        m_reading->runAtShutdown([texts = m_texts] { texts->catalog.reset(); });
    }
    m_reading
        ->submit(this,
                 [texts = m_texts, row] {
                     if (!texts->catalog)
                         texts->catalog = std::make_unique<CardCatalog>(texts->filePath);
                     return texts->catalog->storedTexts(row);
                 })
        .then(this, [this, card, edited](const std::optional<CardCatalog::CardTexts> &texts) {
            if (!card || !card->modelContext()) {
                indexNext();
                return;
            }
            // Written since it was listed: the card holds its texts now.
            if (!texts || card->unreadTextsRow() == 0) {
                readPicture(card, edited, card->displayTitle(), card->combinedText());
                return;
            }
            const CanvasCard::TitleSources sources{card->title(), texts->markdownText, texts->contextText,
                                                   texts->ocrText, card->kind()};
            readPicture(card, edited, CanvasCard::displayTitle(sources),
                        CanvasCard::combinedText(texts->markdownText, texts->contextText, texts->ocrText));
        });
}

void SearchIndexRestorer::readPicture(QPointer<const CanvasCard> card, const QDateTime &edited, QString title,
                                      QString text)
{
    const auto indexWith = [this, card, title, text, edited](
                               const std::optional<QByteArray> &annotations, const std::optional<QByteArray> &picture) {
        const auto boards = m_context.fetchBoards();
        if (!card || !card->modelContext() || !card->isLive() || !boards) {
            indexNext();
            return;
        }
        // Edited meanwhile (annotations that hide part of it, its texts):
        // read again.
        if (card->updatedAt() != edited) {
            m_waiting.prepend(card);
            indexNext();
            return;
        }
        DesktopSearchRecord record;
        record.id = card->id();
        record.title = title;
        record.text = text;
        record.boardName = DesktopSearchIndexService::noteName(*card, *boards);
        record.sourceApplication = card->sourceApplicationName();
        // The stored pictures show what the annotations hide.
        if (!TextRedaction::mayHidePicture(annotations))
            record.thumbnailData = picture;
        m_index.index(record, this).then(this, [this](const DesktopSearchIndexService::Outcome &) { indexNext(); });
    };
    const auto withAnnotations = [this, card, indexWith](const std::optional<QByteArray> &annotations) {
        const bool shown = !TextRedaction::mayHidePicture(annotations);
        if (!card || !shown || !(card->hasThumbnailImageData() || card->hasOriginalImageData())) {
            indexWith(annotations, std::nullopt);
            return;
        }
        m_context
            .readCardData(this, *card,
                          card->hasThumbnailImageData() ? CanvasCard::ThumbnailImageBlob : CanvasCard::OriginalImageBlob)
            .then(this, [annotations, indexWith](const std::optional<QByteArray> &picture) {
                indexWith(annotations, picture);
            });
    };
    if (!card->hasAnnotationDocumentData()) {
        withAnnotations(std::nullopt);
        return;
    }
    m_context.readCardData(this, *card, CanvasCard::AnnotationDocumentBlob).then(this, withAnnotations);
}

} // namespace tessaline
