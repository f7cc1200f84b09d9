#pragma once

#include "runtime/NavigationState.h"
#include "notes/BoardWritingSurfaceModel.h"

#include <QHash>
#include <QList>
#include <QPointer>
#include <QScrollArea>
#include <QUuid>

#include <array>
#include <optional>
#include <vector>

class QMimeData;
class QTimer;
class QVariantAnimation;

namespace tessaline {

class GuidedTourTarget;
class Pasteboard;
class SnipImageCache;
class WritingParagraphEditor;

// The editor of a note's writing: one scrolling page of paragraphs and inline
// card references in document order. Typing changes a paragraph's text in the
// model's document; a card id dropped on the page asks for a reference after
// the paragraph under the drop (or with no anchor elsewhere); the paragraph
// holding keyboard focus is reported as the writing position. Its rules and
// its actions live in `model()`; this widget only shows them.
//
// Hiding the page reports that no paragraph is focused any more; a host that
// deletes it should hide it first, since nothing is reported from the
// destructor (the host may itself be half torn down by then).
class BoardWritingSurface : public QScrollArea
{
    Q_OBJECT
public:
    static constexpr int columnMaximumWidth = 940;
    static constexpr int horizontalPadding = 48;
    static constexpr int topPadding = 34;
    static constexpr int bottomPadding = 120;
    static constexpr int blockSpacing = 12;
    static constexpr int paragraphPadding = 3;

    explicit BoardWritingSurface(QWidget *parent = nullptr);
    ~BoardWritingSurface() override;

    BoardWritingSurfaceModel *model() const { return m_model; }
    SnipImageCache *imageCache() const { return m_images; }

    // Handed to every reference row for "Annotate" and "Copy with Frame…".
    void setNavigation(NavigationState *navigation);
    // Where Copy puts pictures; the desktop clipboard unless set.
    void setPasteboard(Pasteboard *pasteboard);
    // The snip the guided tour's last step points at wears its ring here
    // too, where the step leaves the user: on the note's writing.
    void setGuidedTour(GuidedTourTarget *tour);

    // The row widget of a block, in document order (tests and the canvas).
    // A paragraph or a card reference has one only once it has been in view.
    QWidget *rowWidget(const QUuid &blockID) const;
    WritingParagraphEditor *paragraphEditor(const QUuid &blockID) const;
    // Scrolls the paragraph into view and puts the caret at its end.
    void focusParagraph(const QUuid &blockID);
    QList<QUuid> rowOrder() const { return m_order; }
    QWidget *page() const;

    // Lays out at once and ends any running row animation.
    void finishAnimations();

protected:
    void changeEvent(QEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;
    // Tab and Shift+Tab go through the writing in document order, card
    // rows included, then on to the rest of the window.
    bool focusNextPrevChild(bool next) override;
    // Tab from elsewhere in the window enters the writing at its first
    // block, Shift+Tab at its last, whichever row the window's focus chain
    // reached: the rows stand in it in the order their views were made.
    void focusInEvent(QFocusEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    class Page;
    // A paragraph gets its editor once it comes into view; until then its
    // text is measured, not shown. A card reference gets its card view once
    // it comes into view too (a note of thousands of captures would
    // otherwise build and measure thousands of them to show a screenful);
    // until then it takes the height its kind of card last had.
    struct Row
    {
        QUuid id;
        QWidget *widget = nullptr;
        WritingParagraphEditor *editor = nullptr;
        bool isParagraph = false;
        QString text;
        int measuredWidth = -1;
        int measuredHeight = 0;
        // The guess at `estimatedWidth` until it is measured; each layout
        // pass passes over every row of a note that gathers captures.
        int estimatedWidth = -1;
        int estimatedHeight = 0;
        bool isReference = false;
        // referenceKind(), worked out when the row is made or resized rather
        // than from the card at every pass: thousands of cards lie all over
        // memory.
        int kind = 0;
        CanvasCard *card = nullptr;
        bool isMissing = false;
        std::optional<QUuid> missingCardID;
        NoteAttachmentSize size = NoteAttachmentSize::medium;
    };

    void applyPageColour();
    void reconcile();
    bool bringsUnlistedCard() const;
    Row makeParagraphRow(const BoardWritingBlock &block);
    WritingParagraphEditor *materializeParagraph(const QUuid &blockID);
    int paragraphHeight(Row &row, int width);
    void measureSome();
    Row makeReferenceRow(const WritingReferenceResolution &resolution);
    QWidget *materializeReference(const QUuid &blockID);
    // The view of the row of `blockID`, made if need be, shown and put in
    // its place on the page now.
    QWidget *placedView(const QUuid &blockID);
    // Where a reference row without its view stands in the page's layout.
    int estimatedReferenceHeight(const Row &row) const;
    void rememberReferenceHeight(const Row &row, int width, int height);
    static int referenceKind(const Row &row);
    // The row of a block; none when the page has no row for it.
    Row *findRow(const QUuid &blockID);
    const Row *findRow(const QUuid &blockID) const;
    // Whether a referenceKind() is that of a snip's reference.
    static bool isSnipKind(int kind);
    bool rowMatches(const Row &row, const BoardWritingBlock &block, const WritingReferenceResolution &resolution) const;
    void updateParagraphRow(const Row &row, const BoardWritingBlock &block);
    void applyReferenceSize(Row &row, const WritingReferenceResolution &resolution);
    void focusChanged(QWidget *old, QWidget *now);
    void followGuidedTour();
    void revealTourCard();
    bool canDrop(const QMimeData *data) const;
    bool drop(const QMimeData *data, const std::optional<QUuid> &anchor);
    void ensureCaretVisible(WritingParagraphEditor *editor);
    // The caret to the paragraph before or after `blockID`, past any card
    // between them, at `x` on its last or first line; false when there is
    // no such paragraph.
    bool moveCaretPast(const QUuid &blockID, bool down, int x);
    // Gives the row of `blockID` the keyboard by Tab (Shift+Tab: `forward`
    // false) and scrolls it into view; a paragraph takes the caret at its
    // start, or its end when come back to.
    void tabToRow(const QUuid &blockID, bool forward);
    // The keyboard to the widget after (before) the writing in the window.
    bool tabOutOfWriting(bool forward);
    // Whether a focus event of `receiver` is Tab or Shift+Tab coming in from
    // outside the writing that the keyboard goes on from, to the first or
    // the last block.
    bool enterWriting(QWidget *receiver, QFocusEvent *event);
    // The keyboard to where the model says, once the view of `blockID`,
    // which held it, has left the page shown in `shownOrder`.
    void landKeyboard(const QList<QUuid> &shownOrder, const QUuid &blockID);

    BoardWritingSurfaceModel *m_model;
    SnipImageCache *m_images;
    Page *m_page;
    QTimer *m_measuring;
    // In document order, as `m_order`; a layout pass walks them one after
    // the other rather than looking each up by its id.
    std::vector<Row> m_rows;
    QHash<QUuid, qsizetype> m_rowIndex;
    QList<QUuid> m_order;
    bool m_awaitingCards = false;
    // Set while the writing itself moves the keyboard between its rows.
    bool m_movingKeyboard = false;
    // The last height a reference view of a kind of card and size had, by
    // referenceKind(), at `m_referenceHeightsWidth`; 0 when none was seen.
    std::array<int, 3 * 8> m_referenceHeights{};
    int m_referenceHeightsWidth = -1;
    QPointer<NavigationState> m_navigation;
    Pasteboard *m_pasteboard = nullptr;
    QPointer<GuidedTourTarget> m_guidedTour;
    QMetaObject::Connection m_guidedTourWatch;
    // The snip the tour's last step points at, and whether the page has yet
    // to be scrolled to it.
    std::optional<QUuid> m_tourCardID;
    bool m_tourCardRevealPending = false;
};

} // namespace tessaline
