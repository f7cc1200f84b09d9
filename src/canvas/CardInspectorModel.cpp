#include "canvas/CardInspectorModel.h"

#include "model/ModelContext.h"
#include "runtime/KeptChanges.h"
#include "runtime/LibraryQuery.h"
#include "runtime/NavigationState.h"

namespace tessaline {

CardInspectorModel::CardInspectorModel(LibraryQuery &library, NavigationState &navigation, Clock now, QObject *parent)
    : QObject(parent)
    , m_library(library)
    , m_navigation(navigation)
    , m_now(now ? std::move(now) : Clock([] { return QDateTime::currentDateTimeUtc(); }))
{
    // The kept selection is dropped before anything reads it again.
    connect(&navigation, &NavigationState::selectedCardIDsChanged, this, [this] { m_selected.reset(); });
    connect(&library, &LibraryQuery::changed, this, [this] { m_selected.reset(); });
    connect(&library.context(), &ModelContext::entityWritten, this, [this](PersistentEntity *entity, int property) {
        if (qobject_cast<CanvasCard *>(entity)
            && (property == CanvasCard::IdProperty || property == CanvasCard::DeletedAtProperty))
            m_selected.reset();
    });
    connect(&navigation, &NavigationState::selectedCardIDsChanged, this, &CardInspectorModel::update);
    connect(&library, &LibraryQuery::changed, this, &CardInspectorModel::update);
    m_selectionKey = CardInspectorForm::selectionKey(selectedCards());
    m_showsForm = content() == Content::card;
}

CardInspectorModel::~CardInspectorModel()
{
    // Gone with its window: nobody is left to be told. What the library did
    // not take stays in memory, where a quit asks about it.
    m_reportError = nullptr;
    formDisappeared();
}

QList<CanvasCard *> CardInspectorModel::selectedCards() const
{
    if (!m_selected)
        m_selected = CardInspectorForm::selectedCards(m_library.cards(), m_navigation.selectedCardIDs());
    return *m_selected;
}

CardInspectorModel::Content CardInspectorModel::content() const
{
    const qsizetype count = selectedCards().size();
    return count == 0 ? Content::nothing : count == 1 ? Content::card : Content::multiple;
}

CanvasCard *CardInspectorModel::card() const
{
    const QList<CanvasCard *> cards = selectedCards();
    return cards.size() == 1 ? cards.constFirst() : nullptr;
}

void CardInspectorModel::update()
{
    const QString key = CardInspectorForm::selectionKey(selectedCards());
    if (key == m_selectionKey) {
        Q_EMIT cardsChanged();
        return;
    }
    // The form of the card that was shown goes away with the old selection.
    const bool formWasShown = std::exchange(m_showsForm, false);
    m_selectionKey = key;
    m_showsForm = content() == Content::card;
    if (formWasShown)
        saveLeavingForm();
    Q_EMIT selectionChanged();
}

void CardInspectorModel::formAppeared()
{
    m_showsForm = content() == Content::card;
}

void CardInspectorModel::setTitle(const QString &text)
{
    if (CanvasCard *shown = card())
        CardInspectorForm::writeTitle(*shown, text, m_now());
}

void CardInspectorModel::setKind(ThoughtKind kind)
{
    if (CanvasCard *shown = card()) {
        shown->setThoughtKindRawValue(rawValue(kind));
        shown->setUpdatedAt(m_now());
    }
}

void CardInspectorModel::setContext(const QString &text)
{
    if (CanvasCard *shown = card())
        CardInspectorForm::writeContext(*shown, text, m_now());
}

void CardInspectorModel::formDisappeared()
{
    if (!std::exchange(m_showsForm, false))
        return;
    saveLeavingForm();
}

void CardInspectorModel::saveLeavingForm()
{
    // A failure keeps the edits in memory; the next save writes them.
    if (const auto saved = saveKeepingChanges(m_library.context()); !saved && m_reportError)
        m_reportError(saved.error());
}

} // namespace tessaline
