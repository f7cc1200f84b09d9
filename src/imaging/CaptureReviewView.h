#pragma once

#include <QDialog>
#include <QMessageBox>
#include <QPointer>
#include <QUuid>

class QLineEdit;

namespace tessaline {

class AnnotationEditorView;
class AppRuntime;
class CaptureReviewModel;
class Pasteboard;
class StudioActionButton;
class StudioCompactButton;
class StudioEmptyState;
class TessalinePrimaryButton;

// The review sheet of a snip: the annotation editor over the snip, a line
// for a note, and Copy, Save…, Frame…, Cancel and Keep Snip. The main window
// opens it while the navigation state names a card for review; every way out
// (its buttons, Escape, closing the window) clears that name again.
class CaptureReviewView : public QDialog
{
    Q_OBJECT
public:
    CaptureReviewView(const QUuid &cardID, AppRuntime &runtime, QWidget *parent = nullptr);
    // With a clipboard of the caller's choosing instead of the desktop's.
    CaptureReviewView(const QUuid &cardID, AppRuntime &runtime, Pasteboard &pasteboard, QWidget *parent = nullptr);
    ~CaptureReviewView() override;

    CaptureReviewModel &model() const { return *m_model; }
    AnnotationEditorView *editor() const { return m_editor; }
    StudioEmptyState *unavailablePanel() const { return m_unavailable; }
    QLineEdit *noteField() const { return m_note; }
    StudioActionButton *copyButton() const { return m_copy; }
    StudioActionButton *saveButton() const { return m_save; }
    StudioActionButton *frameButton() const { return m_frame; }
    StudioCompactButton *cancelButton() const { return m_cancel; }
    TessalinePrimaryButton *keepButton() const { return m_keep; }
    QMessageBox *errorAlert() const { return m_alert; }

    QSize sizeHint() const override;

public Q_SLOTS:
    void reject() override;

protected:
    void keyPressEvent(QKeyEvent *event) override;

private:
    void build();
    QWidget *buildActionBar();
    void refresh();
    void showErrorIfNeeded();
    void finish(int result);

    CaptureReviewModel *m_model;
    QWidget *m_content = nullptr;
    AnnotationEditorView *m_editor = nullptr;
    StudioEmptyState *m_unavailable = nullptr;
    QLineEdit *m_note = nullptr;
    StudioActionButton *m_copy = nullptr;
    StudioActionButton *m_save = nullptr;
    StudioActionButton *m_frame = nullptr;
    StudioCompactButton *m_cancel = nullptr;
    TessalinePrimaryButton *m_keep = nullptr;
    QPointer<QMessageBox> m_alert;
    bool m_finishing = false;
};

} // namespace tessaline
