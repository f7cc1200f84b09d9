#pragma once

#include "canvas/CardInspectorForm.h"

#include <QObject>
#include <QPointer>

#include <functional>
#include <optional>

namespace tessaline {

class LibraryQuery;
class NavigationState;

// The inspector column: the selected cards of any note, and the form that
// edits one card. Edits are written at each keystroke and saved when the
// form goes away (another selection, none, or the column closing); a failed
// save keeps the edits in memory for the next save, and is reported.
class CardInspectorModel : public QObject
{
    Q_OBJECT
public:
    using Clock = std::function<QDateTime()>;
    enum class Content { nothing, card, multiple };

    CardInspectorModel(LibraryQuery &library, NavigationState &navigation, Clock now = {}, QObject *parent = nullptr);
    ~CardInspectorModel() override;

    // Where edits that could not be saved are reported (the main window's
    // alert).
    void setErrorReporter(std::function<void(const QString &)> report) { m_reportError = std::move(report); }

    QList<CanvasCard *> selectedCards() const;
    Content content() const;
    // The one selected card, else none.
    CanvasCard *card() const;
    QString selectionKey() const { return m_selectionKey; }

    void setTitle(const QString &text);
    void setKind(ThoughtKind kind);
    void setContext(const QString &text);
    // The column was shown again, or hidden: a form that leaves the screen
    // has its edits saved.
    void formAppeared();
    void formDisappeared();

Q_SIGNALS:
    // The selected set changed: the content is built anew.
    void selectionChanged();
    // The library changed; the same cards are still selected.
    void cardsChanged();

private:
    void update();
    // The form's edits saved as it leaves the screen; a failure is reported.
    void saveLeavingForm();

    LibraryQuery &m_library;
    NavigationState &m_navigation;
    Clock m_now;
    QString m_selectionKey;
    // selectedCards() as last worked out (a walk over every card of the
    // library, asked for on every keystroke in the form); dropped when the
    // selection, the library's lists or a card's id or deletion change.
    mutable std::optional<QList<CanvasCard *>> m_selected;
    bool m_showsForm = false;
    std::function<void(const QString &)> m_reportError;
};

} // namespace tessaline
