#pragma once

#include <QUuid>
#include <QWidget>

namespace tessaline {

// The map mode of a note's workspace. The canvas screen makes it (through
// the screen registry); the notes workspace hosts it below its own header
// and answers the requests that belong to the workspace. The map itself
// shows its tray, its selection palette, the connection editor and its own
// error alert.
class BoardMap : public QWidget
{
    Q_OBJECT
public:
    using QWidget::QWidget;

    // The snip tray under the map: the workspace's "Show Snips" and "Hide
    // Snips" set it; the tray's own close button clears it.
    virtual bool isTrayShown() const = 0;
    virtual void setTrayShown(bool shown) = 0;

Q_SIGNALS:
    void trayShownChanged(bool shown);
    // A card menu's "Reference in Writing": add a reference to the card with
    // no anchor, then show the writing (which closes the tray and clears
    // the selection).
    void referenceInWritingRequested(const QUuid &cardID);
    // The empty state's "New Thought": present the quick-note sheet.
    void newThoughtRequested();
};

} // namespace tessaline
