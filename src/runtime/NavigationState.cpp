#include "runtime/NavigationState.h"

#include "platform/UserDefaults.h"
#include "platform/UuidText.h"

#include <QSet>

namespace tessaline {
namespace {

const QString kActiveBoardKey = QStringLiteral("activeBoardID");
const QString kRemindersKey = QStringLiteral("remindersEnabled");

template <typename T, typename Signal>
void assign(NavigationState *state, T &slot, const T &value, Signal signal)
{
    if (slot == value) {
        slot = value;
        return;
    }
    slot = value;
    Q_EMIT(state->*signal)();
}

} // namespace

NavigationState::NavigationState(UserDefaults &defaults, QObject *parent)
    : QObject(parent)
    , m_defaults(defaults)
{
    if (const auto text = defaults.string(kActiveBoardKey))
        m_activeBoardID = parseUuid(*text);
    m_remindersEnabled = defaults.boolean(kRemindersKey);
}

void NavigationState::setDestination(const std::optional<SidebarDestination> &d) { assign(this, m_destination, d, &NavigationState::destinationChanged); }
void NavigationState::setSelectedCardIDs(const QSet<QUuid> &ids) { assign(this, m_selectedCardIDs, ids, &NavigationState::selectedCardIDsChanged); }
void NavigationState::setFocusedCardID(const std::optional<QUuid> &id) { assign(this, m_focusedCardID, id, &NavigationState::focusedCardIDChanged); }
void NavigationState::setCaptureReviewCardID(const std::optional<QUuid> &id) { assign(this, m_captureReviewCardID, id, &NavigationState::captureReviewCardIDChanged); }
void NavigationState::setGalleryCardID(const std::optional<QUuid> &id) { assign(this, m_galleryCardID, id, &NavigationState::galleryCardIDChanged); }
void NavigationState::setGalleryBrowseCardIDs(const std::optional<QList<QUuid>> &ids) { assign(this, m_galleryBrowseCardIDs, ids, &NavigationState::galleryBrowseCardIDsChanged); }
void NavigationState::setInspectorPresented(bool presented) { assign(this, m_isInspectorPresented, presented, &NavigationState::inspectorPresentedChanged); }
void NavigationState::setQuickThoughtPresented(bool presented) { assign(this, m_isQuickThoughtPresented, presented, &NavigationState::quickThoughtPresentedChanged); }
void NavigationState::setSearchText(const QString &text) { assign(this, m_searchText, text, &NavigationState::searchTextChanged); }
void NavigationState::setActiveWritingAnchorID(const std::optional<QUuid> &id) { assign(this, m_activeWritingAnchorID, id, &NavigationState::activeWritingAnchorIDChanged); }
void NavigationState::setFrameComposerCardID(const std::optional<QUuid> &id) { assign(this, m_frameComposerCardID, id, &NavigationState::frameComposerCardIDChanged); }
void NavigationState::setAskSuggestion(const std::optional<AskSuggestionRequest> &request) { assign(this, m_askSuggestion, request, &NavigationState::askSuggestionChanged); }

void NavigationState::setActiveBoardID(const std::optional<QUuid> &id)
{
    assign(this, m_activeBoardID, id, &NavigationState::activeBoardIDChanged);
    // Each start opens the note it ended on again: written all the same, the
    // settings file would be replaced and synced, twice over the disk,
    // before the window's first frame.
    const std::optional<QString> stored = m_defaults.string(kActiveBoardKey);
    if (id && stored != uuidText(*id))
        m_defaults.setString(kActiveBoardKey, uuidText(*id));
    else if (!id && m_defaults.contains(kActiveBoardKey))
        m_defaults.remove(kActiveBoardKey);
}

void NavigationState::setRemindersEnabled(bool enabled)
{
    assign(this, m_remindersEnabled, enabled, &NavigationState::remindersEnabledChanged);
    m_defaults.setBoolean(kRemindersKey, enabled);
}

void NavigationState::clearSelection()
{
    m_selectedCardIDs.clear();
    Q_EMIT selectedCardIDsChanged();
    setInspectorPresented(false);
}

void NavigationState::select(const QUuid &cardID, bool additive)
{
    if (!additive) {
        setSelectedCardIDs({cardID});
        return;
    }
    if (!m_selectedCardIDs.remove(cardID))
        m_selectedCardIDs.insert(cardID);
    Q_EMIT selectedCardIDsChanged();
}

void NavigationState::showSearch(const QString &text)
{
    setGalleryCardID(std::nullopt);
    setFocusedCardID(std::nullopt);
    setSearchText(text);
    setDestination(SidebarDestination::search());
}

void NavigationState::openGallery(const QUuid &cardID, const std::optional<QList<QUuid>> &browseCardIDs)
{
    std::optional<QList<QUuid>> list;
    if (browseCardIDs) {
        // A library of thousands of snips hands over its whole list.
        QList<QUuid> unique;
        QSet<QUuid> seen;
        unique.reserve(browseCardIDs->size());
        for (const QUuid &id : *browseCardIDs) {
            if (!seen.contains(id)) {
                seen.insert(id);
                unique.append(id);
            }
        }
        if (seen.contains(cardID))
            list = unique;
    }
    setGalleryBrowseCardIDs(list);
    setGalleryCardID(cardID);
}

} // namespace tessaline
