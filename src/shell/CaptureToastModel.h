#pragma once

#include <QImage>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QUuid>

#include <functional>
#include <optional>

namespace tessaline {

class AppRuntime;
class CanvasCard;
class Pasteboard;

// The state and actions of the capture-completion toast: which card it
// shows, the caption being typed, and the next steps (copy, save, frame,
// annotate, open the note). The view only draws it and forwards clicks.
class CaptureToastModel : public QObject
{
    Q_OBJECT
public:
    CaptureToastModel(const QUuid &cardID, AppRuntime &runtime, QObject *parent = nullptr);

    QUuid cardID() const { return m_cardID; }
    // The live, untrashed card, or none (the toast then closes itself).
    CanvasCard *currentCard() const;
    // The note's title, trashed or not; "Tessaline" when it is gone.
    QString noteTitle() const;
    // "From <app>" and " · <window title>" when there is one; empty when the
    // card names no application.
    QString sourceDescription() const;

    QString contextText() const { return m_contextText; }
    void setContextText(const QString &text);
    std::optional<QString> errorMessage() const { return m_errorMessage; }
    void setErrorMessage(const std::optional<QString> &message);
    bool isCopied() const { return m_isCopied; }
    // The capture was to be copied on its own, but the desktop would not
    // have taken it then; the Copy button does it.
    bool isCopyHeldBack() const { return !m_isCopied && m_isCopyHeldBack; }
    bool isExporting() const { return m_isExporting; }
    void setExporting(bool exporting);

    // The picture the thumbnail is drawn from, reduced: the capture's own
    // preview, or the stored picture reduced off the main thread (null until
    // then; `changed` follows).
    QImage thumbnailSource() const { return m_thumbnailSource; }

    void loadInitialState();
    // Turns the model to another card, as if made for it: nothing typed,
    // copied, failed or drawn for the card before it stays.
    void showCard(const QUuid &cardID);
    // Stores the trimmed caption when it differs; false (with the error
    // shown) when storing failed.
    bool commitCaption();
    // Copy and Save read the picture off the main thread; what they find
    // for a card the toast no longer shows is dropped.
    void copyImage(Pasteboard &pasteboard);
    // Commits the caption, then hands the picture and the card's title to
    // `save`, exporting from now on; a failure is the error message.
    void prepareSave(std::function<void(const QImage &image, const QString &title)> save);
    void openFrameComposer();
    void openReview();
    void openNote();

Q_SIGNALS:
    void changed();
    // The toast should close.
    void closeRequested();

private:
    void loadThumbnailSource();
    // True, with the main window brought forward, when `shown` is another
    // snip than this one.
    bool showsAnotherSnip(const std::optional<QUuid> &shown);

    QUuid m_cardID;
    // The card last found under m_cardID: the toast asks for it at every
    // save, and looking through a library of tens of thousands of cards
    // each time held the main thread.
    mutable QPointer<CanvasCard> m_card;
    AppRuntime &m_runtime;
    QImage m_thumbnailSource;
    QString m_contextText;
    std::optional<QString> m_errorMessage;
    bool m_isCopied = false;
    bool m_isCopyHeldBack = false;
    bool m_isExporting = false;
};

} // namespace tessaline
