#pragma once

#include "runtime/SheetRequest.h"
#include "runtime/SidebarDestination.h"

#include <QList>
#include <QObject>
#include <QSet>
#include <QString>
#include <QUuid>

#include <optional>

namespace tessaline {

class UserDefaults;

// Where the user is: the sidebar destination, the selected cards, which
// card-driven sheet is open, the search text, the note that receives
// captures and whether the weekly reminder is wanted. Shared by every screen.
//
// Setters compare first and emit only on a real change; the active note and
// the reminder flag are written to the settings on every assignment.
class NavigationState : public QObject
{
    Q_OBJECT
public:
    explicit NavigationState(UserDefaults &defaults, QObject *parent = nullptr);

    std::optional<SidebarDestination> destination() const { return m_destination; }
    void setDestination(const std::optional<SidebarDestination> &destination);
    QSet<QUuid> selectedCardIDs() const { return m_selectedCardIDs; }
    void setSelectedCardIDs(const QSet<QUuid> &ids);
    std::optional<QUuid> focusedCardID() const { return m_focusedCardID; }
    void setFocusedCardID(const std::optional<QUuid> &id);
    std::optional<QUuid> captureReviewCardID() const { return m_captureReviewCardID; }
    void setCaptureReviewCardID(const std::optional<QUuid> &id);
    std::optional<QUuid> galleryCardID() const { return m_galleryCardID; }
    void setGalleryCardID(const std::optional<QUuid> &id);
    std::optional<QList<QUuid>> galleryBrowseCardIDs() const { return m_galleryBrowseCardIDs; }
    void setGalleryBrowseCardIDs(const std::optional<QList<QUuid>> &ids);
    bool isInspectorPresented() const { return m_isInspectorPresented; }
    void setInspectorPresented(bool presented);
    bool isQuickThoughtPresented() const { return m_isQuickThoughtPresented; }
    void setQuickThoughtPresented(bool presented);
    QString searchText() const { return m_searchText; }
    void setSearchText(const QString &text);
    std::optional<QUuid> activeWritingAnchorID() const { return m_activeWritingAnchorID; }
    void setActiveWritingAnchorID(const std::optional<QUuid> &id);
    std::optional<QUuid> frameComposerCardID() const { return m_frameComposerCardID; }
    void setFrameComposerCardID(const std::optional<QUuid> &id);
    // While set, the main window shows the thinking assistant for these cards.
    std::optional<AskSuggestionRequest> askSuggestion() const { return m_askSuggestion; }
    void setAskSuggestion(const std::optional<AskSuggestionRequest> &request);
    std::optional<QUuid> activeBoardID() const { return m_activeBoardID; }
    void setActiveBoardID(const std::optional<QUuid> &id);
    bool remindersEnabled() const { return m_remindersEnabled; }
    void setRemindersEnabled(bool enabled);

    void clearSelection();
    void select(const QUuid &cardID, bool additive);
    void openGallery(const QUuid &cardID, const std::optional<QList<QUuid>> &browseCardIDs);
    // The Search screen with the text typed in, from outside the window (the
    // desktop's search): the gallery or card editor would cover it, so they
    // close.
    void showSearch(const QString &text);

Q_SIGNALS:
    void destinationChanged();
    void selectedCardIDsChanged();
    void focusedCardIDChanged();
    void captureReviewCardIDChanged();
    void galleryCardIDChanged();
    void galleryBrowseCardIDsChanged();
    void inspectorPresentedChanged();
    void quickThoughtPresentedChanged();
    void searchTextChanged();
    void activeWritingAnchorIDChanged();
    void frameComposerCardIDChanged();
    void askSuggestionChanged();
    void activeBoardIDChanged();
    void remindersEnabledChanged();

private:
    UserDefaults &m_defaults;
    std::optional<SidebarDestination> m_destination = SidebarDestination::notes();
    QSet<QUuid> m_selectedCardIDs;
    std::optional<QUuid> m_focusedCardID;
    std::optional<QUuid> m_captureReviewCardID;
    std::optional<QUuid> m_galleryCardID;
    std::optional<QList<QUuid>> m_galleryBrowseCardIDs;
    bool m_isInspectorPresented = false;
    bool m_isQuickThoughtPresented = false;
    QString m_searchText;
    std::optional<QUuid> m_activeWritingAnchorID;
    std::optional<QUuid> m_frameComposerCardID;
    std::optional<AskSuggestionRequest> m_askSuggestion;
    std::optional<QUuid> m_activeBoardID;
    bool m_remindersEnabled = false;
};

} // namespace tessaline
