#pragma once

#include "runtime/SaveFileFlow.h"

#include <QImage>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QUuid>

#include <functional>
#include <optional>

namespace tessaline {

class AnnotationEditorModel;
class AppRuntime;
class CanvasCard;
class Pasteboard;

// Why keeping a reviewed snip can fail before anything is written.
enum class CaptureReviewError { annotationsNotEncodable, storedAnnotationsUnreadable };
QString captureReviewErrorMessage(CaptureReviewError error);

// The review of one snip: the card it shows, the annotations being edited
// (in the editor model), the note typed about it, and the actions Copy,
// Save, Frame, Keep and Cancel with their effects on the store, the
// clipboard and the navigation state. The review window draws this and
// closes when it asks to be dismissed.
class CaptureReviewModel : public QObject
{
    Q_OBJECT
public:
    // Asks where to save and writes the PNG; runs `completion` once: saved,
    // cancelled, or the reason it failed.
    using PngSaver = std::function<void(const QImage &image, const QString &suggestedName,
                                        SaveFileFlow::Completion completion)>;

    CaptureReviewModel(const QUuid &cardID, AppRuntime &runtime, Pasteboard &pasteboard, QObject *parent = nullptr);
    ~CaptureReviewModel() override;

    QUuid cardID() const { return m_cardID; }
    AnnotationEditorModel &editor() const { return *m_editor; }

    // The live card with the id (a trashed card counts as missing), and its
    // image; a missing card or unreadable image makes the review unavailable.
    // So do stored annotations that cannot be read: the picture is not shown
    // without what they may hide, and they are never replaced unread.
    CanvasCard *card() const;
    // The picture is read and decoded on workers (a 5K one would hold the
    // main thread for a tenth of a second); until then the review is
    // neither available nor unavailable. availabilityChanged() says when
    // it is done.
    bool isLoading() const { return m_isLoading; }
    bool isAvailable() const { return !m_image.isNull(); }
    bool hasUnreadableAnnotations() const { return m_hasUnreadableAnnotations; }
    QImage image() const { return m_image; }
    // The card's display title, kept up as the card is named (text
    // recognition names an untitled snip after the review opened); the
    // last one known once the card is gone.
    QString title() const { return m_title; }

    // Takes the card's stored annotations and note into the review.
    void load();

    QString contextText() const { return m_contextText; }
    void setContextText(const QString &text);
    std::optional<QString> errorMessage() const { return m_errorMessage; }
    void clearErrorMessage();
    bool isExporting() const { return m_isExporting; }
    bool isCopied() const { return m_isCopied; }

    void setPngSaver(PngSaver saver) { m_saver = std::move(saver); }

    // The annotated image as it stands now, unsaved edits included.
    std::optional<QImage> flattenedImage() const;
    void copy();
    void save();
    // Keep and Frame store first; on a failure they report it and stay.
    // True when the snip was stored: the review closes then, or, when
    // captures are copied as they are kept, once the copy is on the
    // clipboard; a copy that fails leaves it open and says so. Meanwhile
    // the review is keeping: Keep, Frame and Cancel do nothing.
    bool keep();
    bool frame();
    void cancel();
    bool isKeeping() const { return m_isKeeping; }

Q_SIGNALS:
    void availabilityChanged();
    void titleChanged();
    void changed();
    // The review is over; the window closes.
    void dismissRequested();

private:
    void refreshAvailability();
    void takeTypedLabel();
    void loadImage(const CanvasCard &card);
    // Stores the annotations and the note; the failure's message, or
    // nothing.
    Expected<void, QString> saveReview();
    bool saveThenClose(std::function<void()> close);
    void setKeeping(bool keeping);
    void setErrorMessage(const std::optional<QString> &message);
    void setExporting(bool exporting);
    void setCopied();

    QUuid m_cardID;
    AppRuntime &m_runtime;
    Pasteboard &m_pasteboard;
    AnnotationEditorModel *m_editor;
    QImage m_image;
    bool m_isLoading = false;
    // A picture that could not be read is not read again at every save.
    bool m_hasTriedImage = false;
    // Counts the reads begun, so one answered after the card went is dropped.
    quint64 m_loads = 0;
    QString m_title;
    bool m_hasUnreadableAnnotations = false;
    QString m_contextText;
    std::optional<QString> m_errorMessage;
    bool m_isExporting = false;
    bool m_isCopied = false;
    bool m_isKeeping = false;
    PngSaver m_saver;
};

} // namespace tessaline
