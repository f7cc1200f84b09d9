#pragma once

#include "capture/GlobalShortcutConfiguration.h"
#include "runtime/OnboardingState.h"

#include <QDialog>
#include <QList>
#include <QUuid>

#include <array>
#include <optional>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace tessaline {

class AppRuntime;
class Board;
class CapturePermissionPanel;
class LibraryQuery;
class OnboardingCoordinator;
class OnboardingPageArea;
class OnboardingPageDots;

// The first-run setup window, a sheet of the main window: four pages
// (welcome, capture, thinking, ready) between a header with the page dots
// and "Skip" and a footer with "Back", a hint and the primary button. Every
// decision is the onboarding coordinator's; this view shows its page and
// name and calls its operations. It closes only when the coordinator stops
// presenting it (finish or skip); Escape skips, and the window's own close
// control does nothing.
class OnboardingExperienceView : public QDialog
{
    Q_OBJECT
public:
    OnboardingExperienceView(AppRuntime &runtime, OnboardingCoordinator &onboarding, LibraryQuery &library,
                             QWidget *parent = nullptr);
    ~OnboardingExperienceView() override;

    // The capture page's paragraph for the capture shortcut in force.
    // Where the desktop lets apps set no global shortcuts (shortcutsOffered
    // false), the text names the command to bind instead.
    static QString captureText(const std::optional<GlobalShortcut> &shortcut, bool shortcutsOffered = true);
    // "You're ready, " and the first word of the name as typed, or
    // "You're ready." when it holds no word.
    static QString readyTitle(const QString &draftName);

    // One entry of the default-capture-note picker; no id is Quick Captures.
    struct NoteChoice
    {
        QString title;
        std::optional<QUuid> boardID;
        friend bool operator==(const NoteChoice &, const NoteChoice &) = default;
    };
    // "Quick Captures", then every live note that is not the inbox, in the
    // order given (archived notes included).
    static QList<NoteChoice> noteChoices(const QList<Board *> &boards);
    // The entry shown for the active note: its own when it is one of the
    // choices, else Quick Captures (index 0).
    static int chosenNoteIndex(const QList<NoteChoice> &choices, const std::optional<QUuid> &activeBoardID);

    // What is on screen, for tests and accessibility checks.
    QLineEdit *nameField() const { return m_nameField; }
    QPushButton *primaryButton() const { return m_primaryButton; }
    QPushButton *backButton() const { return m_backButton; }
    QPushButton *skipButton() const { return m_skipButton; }
    QLabel *continueHint() const { return m_continueHint; }
    QLabel *captureTextLabel() const { return m_captureText; }
    QLabel *readyTitleLabel() const { return m_readyTitle; }
    QComboBox *notePicker() const { return m_notePicker; }
    QCheckBox *reviewToggle() const { return m_reviewToggle; }
    CapturePermissionPanel *permissionPanel() const { return m_permissionPanel; }
    QWidget *pageDots() const;
    // The page widget now current (the one moving in during a transition).
    QWidget *pageWidget(OnboardingPage page) const { return m_pages[size_t(page)]; }
    OnboardingPage shownPage() const { return m_shownPage; }

    void reject() override;

protected:
    void showEvent(QShowEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    // The sheet's height where the screen has room.
    static constexpr int fullHeight = 570;
    int pageMargin(int roomy) const;
    QWidget *buildHeader();
    QWidget *buildFooter();
    QWidget *buildWelcomePage();
    QWidget *buildCapturePage();
    QWidget *buildThinkingPage();
    QWidget *buildReadyPage();
    void pageDidChange();
    void syncFooter();
    void syncName();
    void syncCaptureText();
    void syncNotePicker();
    void syncReviewToggle();
    void primaryAction();

    AppRuntime &m_runtime;
    OnboardingCoordinator &m_onboarding;
    LibraryQuery &m_library;
    OnboardingPage m_shownPage;
    bool m_hasAppeared = false;
    bool m_syncingPicker = false;
    // What the picker lists: a save that changed no note's title or place
    // leaves its items be (a library of thousands of notes made them again
    // at every save).
    QList<NoteChoice> m_shownChoices;
    // The notes the choices were made from, and whether a note's title or
    // place was written since.
    QList<Board *> m_choiceBoards;
    bool m_choicesWritten = true;

    OnboardingPageDots *m_dots = nullptr;
    OnboardingPageArea *m_pageArea = nullptr;
    std::array<QWidget *, 4> m_pages{};
    QLineEdit *m_nameField = nullptr;
    QPushButton *m_primaryButton = nullptr;
    QPushButton *m_backButton = nullptr;
    QPushButton *m_skipButton = nullptr;
    QLabel *m_continueHint = nullptr;
    QLabel *m_captureText = nullptr;
    QLabel *m_readyTitle = nullptr;
    QComboBox *m_notePicker = nullptr;
    QCheckBox *m_reviewToggle = nullptr;
    CapturePermissionPanel *m_permissionPanel = nullptr;
};

} // namespace tessaline
