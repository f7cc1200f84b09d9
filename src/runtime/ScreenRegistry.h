#pragma once

#include "runtime/DetailScreen.h"
#include "runtime/OnboardingState.h"
#include "runtime/ScreenContext.h"
#include "runtime/SheetRequest.h"

#include <QUuid>

#include <map>
#include <vector>

#include <functional>
#include <optional>

class QDialog;
class QWidget;

namespace tessaline {

class AppRuntime;
class BoardMap;
class UpdateService;

// Where the main window gets the screens that other parts of the app
// provide: the detail pane's screens by kind, the sheets by kind, the card
// inspector and the guided tour's coachmark. The app's composition root
// has each screen folder register its screens once; a screen nobody registered shows the design
// system's empty state under its own name instead.
class ScreenRegistry
{
public:
    // Each factory gets what the window shares with its screens (runtime,
    // live queries, trash actions) and makes a widget under `parent`.
    using DetailFactory = std::function<QWidget *(ScreenContext &window, const DetailScreen &screen, QWidget *parent)>;
    // A sheet is a dialog; the window opens it window-modal and sets the
    // sheet's property back when it finishes.
    using SheetFactory = std::function<QDialog *(ScreenContext &window, const SheetRequest &request, QWidget *parent)>;
    using InspectorFactory = std::function<QWidget *(ScreenContext &window, QWidget *parent)>;
    using CoachmarkFactory = std::function<QWidget *(ScreenContext &window, GuidedTourStep step,
                                                     bool hasSnipPreviewTarget, QWidget *parent)>;

    void registerDetail(DetailScreen::Kind kind, DetailFactory factory) { m_details[kind] = std::move(factory); }
    void registerSheet(SheetKind kind, SheetFactory factory) { m_sheets[kind] = std::move(factory); }
    void registerInspector(InspectorFactory factory) { m_inspector = std::move(factory); }
    void registerCoachmark(CoachmarkFactory factory) { m_coachmark = std::move(factory); }
    // The settings window is a top-level window of its own, made on demand.
    using SettingsFactory = std::function<QWidget *(AppRuntime &runtime, UpdateService &updates)>;
    void registerSettings(SettingsFactory factory) { m_settings = std::move(factory); }
    // Null when no settings window is registered.
    QWidget *makeSettings(AppRuntime &runtime, UpdateService &updates) const
    {
        return m_settings ? m_settings(runtime, updates) : nullptr;
    }

    // The map mode of a note's workspace, for the notes workspace to host:
    // the canvas screen provides it, so neither screen names the other.
    using BoardMapFactory = std::function<BoardMap *(ScreenContext &window, const QUuid &boardID, QWidget *parent)>;
    void registerBoardMap(BoardMapFactory factory) { m_boardMap = std::move(factory); }
    // Null when no board map is registered.
    BoardMap *makeBoardMap(ScreenContext &window, const QUuid &boardID, QWidget *parent) const
    {
        return m_boardMap ? m_boardMap(window, boardID, parent) : nullptr;
    }

    // What a screen folder does once the window is up and idle, so that its
    // screens' first showing costs no more than later ones.
    using Preparation = std::function<void(ScreenContext &window)>;
    void registerPreparation(Preparation preparation) { m_preparations.push_back(std::move(preparation)); }
    void prepare(ScreenContext &window) const
    {
        for (const Preparation &preparation : m_preparations)
            preparation(window);
    }

    bool hasDetail(DetailScreen::Kind kind) const { return m_details.contains(kind); }
    bool hasSheet(SheetKind kind) const { return m_sheets.contains(kind); }

    // The registered screen, else the empty state named after it.
    QWidget *makeDetail(ScreenContext &window, const DetailScreen &screen, QWidget *parent) const;
    // The registered sheet, else a dialog holding the named empty state and
    // a Close button. The first-run setup has no stand-in (a sheet that
    // cannot be closed would lock the window): null when not registered.
    QDialog *makeSheet(ScreenContext &window, const SheetRequest &request, QWidget *parent) const;
    QWidget *makeInspector(ScreenContext &window, QWidget *parent) const;
    // Null when no coachmark is registered.
    QWidget *makeCoachmark(ScreenContext &window, GuidedTourStep step, bool hasSnipPreviewTarget,
                           QWidget *parent) const;

    // The name and symbol a screen's stand-in shows: the destination's
    // sidebar title, or the note's title for a single note.
    struct Label
    {
        QString title;
        QString systemImage;
    };
    static Label detailLabel(const ScreenContext &window, const DetailScreen &screen);
    static Label sheetLabel(SheetKind kind);

private:
    std::map<DetailScreen::Kind, DetailFactory> m_details;
    std::map<SheetKind, SheetFactory> m_sheets;
    InspectorFactory m_inspector;
    CoachmarkFactory m_coachmark;
    SettingsFactory m_settings;
    BoardMapFactory m_boardMap;
    std::vector<Preparation> m_preparations;
};

} // namespace tessaline
