#pragma once

#include "model/CanvasCard.h"
#include "model/GhostSuggestion.h"

#include <QDateTime>
#include <QList>
#include <QObject>
#include <QPointF>
#include <QString>
#include <QUuid>

#include <functional>
#include <memory>
#include <optional>

namespace tessaline {

class CanvasCard;
class IntelligenceService;
class ModelContext;

// What the thinking assistant sheet decides: the question, the reflection
// and its edited text, where the answer comes from, and keeping it as a
// thought card. Nothing is stored before Keep.
//
// Answers arrive on the main thread while the window goes on working. Only
// the answer to the latest request is shown; once the sheet is closed no
// answer is, and the unfinished work is told to give up.
class AskSuggestionModel : public QObject
{
    Q_OBJECT
public:
    // What the sheet's middle shows.
    enum class Stage { empty, generating, preview };

    // `context` is the store the thought is kept in and the cards are read
    // from; the model owns `intelligence`.
    AskSuggestionModel(ModelContext &context, const QUuid &boardID, const QList<QUuid> &sourceCardIDs,
                       std::unique_ptr<IntelligenceService> intelligence, QObject *parent = nullptr);
    ~AskSuggestionModel() override;

    void setClock(std::function<QDateTime()> clock) { m_clock = std::move(clock); }

    QUuid boardID() const { return m_boardID; }
    QList<QUuid> sourceCardIDs() const { return m_sourceCardIDs; }

    ThinkingPrompt prompt() const { return m_prompt; }
    void setPrompt(ThinkingPrompt prompt);

    // The most of an answer the sheet shows and keeps: a card's text is
    // shown no longer than that anywhere.
    static constexpr qsizetype maximumShownCharacters = CanvasCard::maximumShownTextLength;

    std::optional<GhostSuggestion> suggestion() const { return m_suggestion; }
    // What the editor shows, and the text a kept thought gets: all of the
    // answer, or the start of a long one.
    QString editableText() const { return m_editableText; }
    // Whether the answer was longer than what is shown and kept.
    bool isTextCut() const { return m_isTextCut; }
    void setEditableText(const QString &text);
    bool isGenerating() const { return m_isGenerating; }
    IntelligenceAvailability availability() const { return m_availability; }
    std::optional<QString> errorMessage() const { return m_errorMessage; }
    void clearErrorMessage();
    bool isClosed() const { return m_closed; }

    Stage stage() const;
    // The live cards asked about, in the store's order; ids of trashed or
    // missing cards are left out.
    QList<CanvasCard *> selectedCards() const;
    QString badgeTitle() const;
    QString badgeSystemImage() const;
    QString emptyStateMessage() const;
    // Try Again and Keep as Thought show once there is a reflection.
    bool hasSuggestion() const { return m_suggestion.has_value(); }
    // A reflection of blanks cannot be kept.
    bool canKeep() const;

    // Where the next kept thought goes on a canvas already holding
    // `placedCount` placed cards: a grid of four columns from (90, 90).
    static QPointF placementPoint(int placedCount);

    // The sheet appeared: ask once where reflections would come from.
    void appear();
    // Generate reflection, and Try Again: the answer replaces the reflection
    // and its edits.
    void generate();
    // Keeps the edited reflection as a thought card on the note, placed
    // after its placed cards; on success the sheet closes, on failure it
    // stays open with its text and says why.
    void keep();
    // Closes the sheet; nothing is stored.
    void dismiss();

Q_SIGNALS:
    void changed();
    // A new reflection replaced the editor's text (after `changed` showed it).
    void editableTextReplaced();
    void dismissRequested();

private:
    void close();
    void setErrorMessage(const QString &message);

    ModelContext &m_context;
    QUuid m_boardID;
    QList<QUuid> m_sourceCardIDs;
    mutable std::optional<QList<CanvasCard *>> m_selected;
    std::unique_ptr<IntelligenceService> m_intelligence;
    ThinkingPrompt m_prompt = ThinkingPrompt::connections;
    std::optional<GhostSuggestion> m_suggestion;
    QString m_editableText;
    bool m_isTextCut = false;
    bool m_isGenerating = false;
    IntelligenceAvailability m_availability =
        IntelligenceAvailability::fallback(IntelligenceUnavailableReason::deterministicOnly);
    std::optional<QString> m_errorMessage;
    bool m_hasAppeared = false;
    bool m_closed = false;
    // Numbers the requests. Each answer shows as it arrives, in turn; one
    // that comes after the answer to a later request is dropped, so an old
    // reflection never replaces a newer one.
    int m_latestRequest = 0;
    int m_shownRequest = 0;
    std::function<QDateTime()> m_clock;
};

} // namespace tessaline
