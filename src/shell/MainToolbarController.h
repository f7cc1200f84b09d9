#pragma once

#include <QList>
#include <QObject>
#include <QString>
#include <QUuid>

#include <functional>

namespace tessaline {

class AppRuntime;
class Board;
class LibraryQuery;

// One entry of the capture menu's "Insert New Captures In" submenu.
struct CaptureDestinationItem
{
    enum class Type { note, divider };

    Type type = Type::note;
    QString title;
    QString systemImage;
    QUuid boardID;
    bool isChecked = false;

    friend bool operator==(const CaptureDestinationItem &, const CaptureDestinationItem &) = default;
};

// The main window's toolbar: New Note, the Capture control with its menu,
// Search and, while cards are selected, Inspector. Holds no state; every
// label, check mark and tooltip is worked out from the live queries, the
// navigation and the runtime when asked.
class MainToolbarController : public QObject
{
    Q_OBJECT
public:
    MainToolbarController(AppRuntime &runtime, LibraryQuery &library, QObject *parent = nullptr);

    // The note `activeBoardID` names, when it is live.
    Board *activeNote() const;
    // "Capture Region into <note> (<shortcut>)".
    QString captureHelpText() const;
    // Quick Captures (when it exists), then a divider and the other live
    // notes (when there are any), at most one checked.
    QList<CaptureDestinationItem> captureDestinationItems() const;
    bool opensRegionCapturesForAnnotation() const;
    bool showsInspectorButton() const;
    // The guided tour's first step points at the Capture control.
    bool isCaptureHighlighted() const;

    // Makes an untitled note and opens it for writing; a store failure goes
    // to the window's alert and changes nothing else.
    void newNote();
    void captureRegion();
    void captureWindow();
    void captureDisplay();
    void setOpensRegionCapturesForAnnotation(bool opens);
    void chooseCaptureDestination(const QUuid &boardID);
    void showSearch();
    void toggleInspector();

    void setClock(std::function<QDateTime()> clock) { m_clock = std::move(clock); }

Q_SIGNALS:
    // Something the toolbar shows may have changed.
    void changed();

private:
    AppRuntime &m_runtime;
    LibraryQuery &m_library;
    std::function<QDateTime()> m_clock;
};

} // namespace tessaline
