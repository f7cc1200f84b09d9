#include "runtime/ScreenRegistry.h"

#include "runtime/AppRuntime.h"
#include "runtime/LibraryQuery.h"
#include "design/StudioEmptyState.h"
#include "model/Board.h"
#include "design/StudioLoadingState.h"
#include "design/StudioText.h"
#include "platform/PlatformTexts.h"

#include <QDialog>
#include <QDialogButtonBox>
#include <QPushButton>
#include <QVBoxLayout>

namespace tessaline {

namespace {

// The design system's empty state, centred, under the screen's own name.
QWidget *emptyStatePane(const ScreenRegistry::Label &label, QWidget *parent)
{
    auto *pane = new QWidget(parent);
    auto *layout = new QVBoxLayout(pane);
    auto *state = new StudioEmptyState(label.title, QString(), label.systemImage);
    state->messageLabel()->setVisible(false);
    layout->addWidget(state, 0, Qt::AlignCenter);
    return pane;
}

} // namespace

ScreenRegistry::Label ScreenRegistry::detailLabel(const ScreenContext &window, const DetailScreen &screen)
{
    switch (screen.kind()) {
    case DetailScreen::Kind::notesWorkspace:
        switch (screen.filter().kind()) {
        case NoteListFilter::Kind::folder:
            return {screen.filter().folderName(), QStringLiteral("folder")};
        case NoteListFilter::Kind::favorites:
            return {QStringLiteral("Favorites"), QStringLiteral("star")};
        case NoteListFilter::Kind::quickCaptures:
            return {QStringLiteral("Quick Captures"), QStringLiteral("tray")};
        case NoteListFilter::Kind::all:
            break;
        }
        return {QStringLiteral("Notes"), QStringLiteral("note.text")};
    case DetailScreen::Kind::snipsLibrary:
        return {QStringLiteral("Snips"), QStringLiteral("photo.on.rectangle")};
    case DetailScreen::Kind::boardCanvas:
        if (const Board *board = window.library().firstBoard(screen.boardID()))
            return {board->title(), QStringLiteral("note.text")};
        return {QStringLiteral("Notes"), QStringLiteral("note.text")};
    case DetailScreen::Kind::trash:
        return {QStringLiteral("Recently Deleted"), QStringLiteral("trash")};
    case DetailScreen::Kind::search:
        return {QStringLiteral("Search"), QStringLiteral("magnifyingglass")};
    case DetailScreen::Kind::preparingQuickCaptures:
        return {QStringLiteral("Quick Captures"), QStringLiteral("tray")};
    }
    return {};
}

ScreenRegistry::Label ScreenRegistry::sheetLabel(SheetKind kind)
{
    switch (kind) {
    case SheetKind::onboarding:
        return {QStringLiteral("Welcome to Tessaline"), QStringLiteral("sparkles")};
    case SheetKind::quickThought:
        return {QStringLiteral("Quick Note"), QStringLiteral("square.and.pencil")};
    case SheetKind::focusEditor:
        return {QStringLiteral("Thought"), QStringLiteral("text.bubble")};
    case SheetKind::gallery:
        return {QStringLiteral("Snip Gallery"), QStringLiteral("photo.stack")};
    case SheetKind::captureReview:
        return {QStringLiteral("Capture Review"), QStringLiteral("viewfinder")};
    case SheetKind::frameComposer:
        return {QStringLiteral("Frame Composer"), QStringLiteral("rectangle.inset.filled")};
    case SheetKind::askSuggestion:
        return {QStringLiteral("Think with these cards"), QStringLiteral("sparkles")};
    case SheetKind::newBoard:
        return {QStringLiteral("Start a board"), QStringLiteral("square.and.pencil")};
    }
    return {};
}

QWidget *ScreenRegistry::makeDetail(ScreenContext &window, const DetailScreen &screen, QWidget *parent) const
{
    if (screen.kind() == DetailScreen::Kind::preparingQuickCaptures) {
        // The window itself makes the note; this pane only waits for it.
        auto *pane = new QWidget(parent);
        auto *layout = new QVBoxLayout(pane);
        layout->addWidget(new StudioLoadingState(QStringLiteral("Preparing Quick Captures"),
                                                 PlatformTexts::quickCapturesStayLocal()),
                          0, Qt::AlignCenter);
        return pane;
    }
    if (const auto found = m_details.find(screen.kind()); found != m_details.end() && found->second)
        return found->second(window, screen, parent);
    return emptyStatePane(detailLabel(window, screen), parent);
}

QDialog *ScreenRegistry::makeSheet(ScreenContext &window, const SheetRequest &request, QWidget *parent) const
{
    if (const auto found = m_sheets.find(request.kind); found != m_sheets.end() && found->second)
        return found->second(window, request, parent);
    if (request.kind == SheetKind::onboarding)
        return nullptr;
    const Label label = sheetLabel(request.kind);
    auto *dialog = new QDialog(parent);
    dialog->setWindowTitle(label.title);
    auto *layout = new QVBoxLayout(dialog);
    layout->addWidget(emptyStatePane(label, dialog), 1);
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Close, dialog);
    QObject::connect(buttons, &QDialogButtonBox::rejected, dialog, &QDialog::reject);
    layout->addWidget(buttons);
    dialog->resize(520, 360);
    return dialog;
}

QWidget *ScreenRegistry::makeInspector(ScreenContext &window, QWidget *parent) const
{
    if (m_inspector)
        return m_inspector(window, parent);
    return emptyStatePane({QStringLiteral("Inspector"), QStringLiteral("sidebar.right")}, parent);
}

QWidget *ScreenRegistry::makeCoachmark(ScreenContext &window, GuidedTourStep step, bool hasSnipPreviewTarget,
                                       QWidget *parent) const
{
    return m_coachmark ? m_coachmark(window, step, hasSnipPreviewTarget, parent) : nullptr;
}

} // namespace tessaline
