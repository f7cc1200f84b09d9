#include "assistant/AskSuggestionModel.h"

#include "assistant/IntelligenceService.h"
#include "model/ModelContext.h"
#include "model/ThinkingSessionService.h"
#include "platform/FutureDelivery.h"
#include "platform/TextUtilities.h"

#include <QSet>

#include <algorithm>

namespace tessaline {

namespace {

// Runs `handle` on the main thread with the answer, unless the model is gone
// (a sheet closed mid-answer) or closed by then.
template <typename T, typename Handle>
void whenAnswered(QFuture<T> future, AskSuggestionModel *model, Handle handle)
{
    deliveredTo(model, std::move(future)).then(model, [model, handle](const T &answer) {
        if (!model->isClosed())
            handle(answer);
    });
}

} // namespace

AskSuggestionModel::AskSuggestionModel(ModelContext &context, const QUuid &boardID, const QList<QUuid> &sourceCardIDs,
                                       std::unique_ptr<IntelligenceService> intelligence, QObject *parent)
    : QObject(parent)
    , m_context(context)
    , m_boardID(boardID)
    , m_sourceCardIDs(sourceCardIDs)
    , m_intelligence(std::move(intelligence))
    , m_clock([] { return QDateTime::currentDateTimeUtc(); })
{
    // The selected cards are a live reading: a card trashed meanwhile drops
    // out. The reading is kept until something it depends on changes (it
    // walks every card of the library).
    connect(&m_context, &ModelContext::didSave, this, [this] { m_selected.reset(); });
    connect(&m_context, &ModelContext::entityWritten, this, [this](PersistentEntity *entity, int property) {
        if (qobject_cast<CanvasCard *>(entity)
            && (property == CanvasCard::IdProperty || property == CanvasCard::DeletedAtProperty))
            m_selected.reset();
    });
    connect(&m_context, &ModelContext::didSave, this, &AskSuggestionModel::changed);
}

AskSuggestionModel::~AskSuggestionModel() = default;

void AskSuggestionModel::setPrompt(ThinkingPrompt prompt)
{
    if (m_prompt == prompt)
        return;
    m_prompt = prompt;
    Q_EMIT changed();
}

void AskSuggestionModel::setEditableText(const QString &text)
{
    if (m_editableText == text)
        return;
    m_editableText = text;
    Q_EMIT changed();
}

void AskSuggestionModel::clearErrorMessage()
{
    if (!m_errorMessage)
        return;
    m_errorMessage.reset();
    Q_EMIT changed();
}

void AskSuggestionModel::setErrorMessage(const QString &message)
{
    m_errorMessage = message;
    Q_EMIT changed();
}

AskSuggestionModel::Stage AskSuggestionModel::stage() const
{
    if (m_isGenerating)
        return Stage::generating;
    return m_suggestion ? Stage::preview : Stage::empty;
}

QList<CanvasCard *> AskSuggestionModel::selectedCards() const
{
    if (m_selected)
        return *m_selected;
    const auto cards = m_context.fetchCards();
    if (!cards)
        return {};
    const QSet<QUuid> wanted(m_sourceCardIDs.cbegin(), m_sourceCardIDs.cend());
    QList<CanvasCard *> selected;
    for (CanvasCard *card : *cards) {
        if (wanted.contains(card->id()) && !card->deletedAt())
            selected << card;
    }
    m_selected = selected;
    return selected;
}

QString AskSuggestionModel::badgeTitle() const
{
    return m_availability.isOnDevice() ? QStringLiteral("On-device") : QStringLiteral("Local reflection");
}

QString AskSuggestionModel::badgeSystemImage() const
{
    return m_availability.isOnDevice() ? QStringLiteral("apple.intelligence") : QStringLiteral("lock");
}

QString AskSuggestionModel::emptyStateMessage() const
{
    const qsizetype count = selectedCards().size();
    return QStringLiteral("Tessaline stays grounded in the ") + QString::number(count)
        + (count == 1 ? QStringLiteral(" selected card.") : QStringLiteral(" selected cards."));
}

bool AskSuggestionModel::canKeep() const
{
    return m_suggestion && !isBlank(m_editableText);
}

QPointF AskSuggestionModel::placementPoint(int placedCount)
{
    return QPointF(90 + (placedCount % 4) * 370, 90 + (placedCount / 4) * 260);
}

void AskSuggestionModel::appear()
{
    if (m_hasAppeared || m_closed)
        return;
    m_hasAppeared = true;
    whenAnswered(m_intelligence->availability(), this, [this](const IntelligenceAvailability &availability) {
        if (m_availability == availability)
            return;
        m_availability = availability;
        Q_EMIT changed();
    });
}

void AskSuggestionModel::generate()
{
    if (m_closed)
        return;
    const QList<CardExcerpt> excerpts = CardExcerpt::excerpts(selectedCards());
    const int request = ++m_latestRequest;
    m_isGenerating = true;
    Q_EMIT changed();
    whenAnswered(m_intelligence->generate(m_prompt, excerpts), this, [this, request](const GhostSuggestion &suggestion) {
        if (request <= m_shownRequest)
            return;
        m_shownRequest = request;
        m_suggestion = suggestion;
        m_editableText = prefixWithin(suggestion.markdownText, maximumShownCharacters);
        m_isTextCut = m_editableText.size() < suggestion.markdownText.size();
        m_isGenerating = false;
        Q_EMIT changed();
        Q_EMIT editableTextReplaced();
    });
}

void AskSuggestionModel::keep()
{
    if (m_closed || !m_suggestion)
        return;
    GhostSuggestion edited = *m_suggestion;
    edited.markdownText = m_editableText;

    const auto cards = m_context.fetchCards();
    if (!cards) {
        setErrorMessage(cards.error().message);
        return;
    }
    int placed = 0;
    for (const CanvasCard *card : *cards) {
        if (card->boardID() == m_boardID && card->isPlaced() && !card->deletedAt())
            ++placed;
    }
    const auto kept =
        ThinkingSessionService(m_context).keepSuggestion(edited, m_boardID, placementPoint(placed), m_clock());
    if (!kept) {
        setErrorMessage(kept.error().message);
        return;
    }
    close();
}

void AskSuggestionModel::dismiss()
{
    close();
}

void AskSuggestionModel::close()
{
    if (m_closed)
        return;
    m_closed = true;
    m_isGenerating = false;
    // Unfinished work gives up; its answers find the sheet closed.
    m_intelligence.reset();
    Q_EMIT dismissRequested();
}

} // namespace tessaline
