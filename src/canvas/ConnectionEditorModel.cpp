#include "canvas/ConnectionEditorModel.h"

#include "model/ModelContext.h"
#include "model/ThinkingSessionService.h"

namespace tessaline {

ConnectionEditorModel::ConnectionEditorModel(ModelContext &context, const QUuid &sourceCardID,
                                             const QUuid &destinationCardID, Clock now, QObject *parent)
    : QObject(parent)
    , m_context(&context)
    , m_sourceCardID(sourceCardID)
    , m_destinationCardID(destinationCardID)
    , m_now(now ? std::move(now) : Clock([] { return QDateTime::currentDateTimeUtc(); }))
{
    // A card trashed or restored elsewhere is saved; the chips follow.
    connect(&context, &ModelContext::didSave, this, &ConnectionEditorModel::cardsChanged);
}

CanvasCard *ConnectionEditorModel::liveCard(const QUuid &id) const
{
    if (!m_context)
        return nullptr;
    const auto cards = m_context->fetchCards(id);
    if (!cards)
        return nullptr;
    for (CanvasCard *card : *cards) {
        if (card->isLive())
            return card;
    }
    return nullptr;
}

CanvasCard *ConnectionEditorModel::sourceCard() const
{
    return liveCard(m_sourceCardID);
}

CanvasCard *ConnectionEditorModel::destinationCard() const
{
    return liveCard(m_destinationCardID);
}

QString ConnectionEditorModel::sourceChipText() const
{
    const CanvasCard *card = sourceCard();
    return card ? card->displayTitle() : QStringLiteral("First card");
}

QString ConnectionEditorModel::destinationChipText() const
{
    const CanvasCard *card = destinationCard();
    return card ? card->displayTitle() : QStringLiteral("Second card");
}

QuietCardTone ConnectionEditorModel::chipTone(const CanvasCard *card)
{
    return card && card->kind() == CardKind::snip ? QuietCardTone::snip : QuietCardTone::thought;
}

void ConnectionEditorModel::setLabel(const QString &label)
{
    if (m_label == label)
        return;
    m_label = label;
    Q_EMIT labelChanged();
}

bool ConnectionEditorModel::canConnect() const
{
    return sourceCard() && destinationCard();
}

bool ConnectionEditorModel::connectCards()
{
    CanvasCard *source = sourceCard();
    CanvasCard *destination = destinationCard();
    if (!source || !destination)
        return false;
    ThinkingSessionService service(*m_context);
    const auto connected = service.connect(source, destination, m_label, m_now());
    if (connected)
        return true;
    m_errorMessage = connected.error().message.isEmpty() ? QStringLiteral("Unknown error") : connected.error().message;
    Q_EMIT errorMessageChanged();
    return false;
}

void ConnectionEditorModel::clearErrorMessage()
{
    if (!m_errorMessage)
        return;
    m_errorMessage.reset();
    Q_EMIT errorMessageChanged();
}

} // namespace tessaline
