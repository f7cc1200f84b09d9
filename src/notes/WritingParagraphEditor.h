#pragma once

#include <QTextEdit>
#include <QUuid>

#include <functional>

class QMimeData;

namespace tessaline {

// One paragraph of a note's writing: plain text only, no frame, no
// background and no scrolling of its own, as tall as its text (at least one
// line). Drops are not its own: a dragged card goes to `onDrop`, with this
// paragraph as the anchor.
class WritingParagraphEditor : public QTextEdit
{
    Q_OBJECT
public:
    static constexpr int fontSize = 16;
    static constexpr int lineSpacing = 4;
    static constexpr int minimumHeight = 24;

    explicit WritingParagraphEditor(const QUuid &blockID, QWidget *parent = nullptr);

    QUuid blockID() const { return m_blockID; }

    QString text() const;
    // Replaces the text when it differs, keeping the caret where it can be.
    void setText(const QString &text);

    // The height an editor of `width` takes for the text, without making
    // one: a long note makes editors only for the paragraphs in view.
    static int heightForText(const QString &text, int width);
    // A quick guess at it, from the text's length alone.
    static int estimatedHeightForText(const QString &text, int width);

    bool hasHeightForWidth() const override;
    int heightForWidth(int width) const override;
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

    // Whether a drag may drop here, and the drop itself; both read the mime
    // data's plain text.
    std::function<bool(const QMimeData *)> canDrop;
    std::function<bool(const QMimeData *)> onDrop;
    // Whether a paste of that many characters over the selected ones may go
    // in; every paste goes in without it.
    std::function<bool(qsizetype pasted, qsizetype replaced)> acceptsPaste;
    // Up on the paragraph's first line or Down on its last: the caret goes
    // on to the paragraph before or after, `x` across from where it stood.
    // False when there is none, and the key is the editor's own again.
    std::function<bool(bool down, int x)> onArrowPastEdge;

protected:
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dragMoveEvent(QDragMoveEvent *event) override;
    void dragLeaveEvent(QDragLeaveEvent *event) override;
    void dropEvent(QDropEvent *event) override;
    void wheelEvent(QWheelEvent *event) override;
    void insertFromMimeData(const QMimeData *source) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    static void applyLineSpacing(QTextDocument *document);
    bool isCaretOnEdgeLine(bool last) const;

    QUuid m_blockID;
};

} // namespace tessaline
