#pragma once

#include <QPointer>
#include <QWidget>

class QLabel;
class QLineEdit;

namespace tessaline {

class AppRuntime;
class CaptureToastModel;
class StudioActionButton;

// The small card shown after a capture became a snip: where it went, a
// thumbnail, the source, a caption field and the next steps. Draws its
// CaptureToastModel and forwards clicks to it.
class CaptureCompletionToastView : public QWidget
{
    Q_OBJECT
public:
    CaptureCompletionToastView(const QUuid &cardID, AppRuntime &runtime, QWidget *parent = nullptr);
    ~CaptureCompletionToastView() override;

    CaptureToastModel &model() const { return *m_model; }
    // Shows another card in the same window; a view made for no card (to
    // have the window ready before the first capture) draws nothing until
    // then.
    void showCard(const QUuid &cardID);
    QLineEdit *captionField() const { return m_caption; }

Q_SIGNALS:
    void closeRequested();

protected:
    void changeEvent(QEvent *event) override;

private:
    void refresh();
    void showPendingError();
    void save();

    AppRuntime &m_runtime;
    CaptureToastModel *m_model;
    QLabel *m_thumbnail = nullptr;
    QLabel *m_header = nullptr;
    QLabel *m_copied = nullptr;
    QLabel *m_source = nullptr;
    QLineEdit *m_caption = nullptr;
    StudioActionButton *m_copy = nullptr;
    StudioActionButton *m_save = nullptr;
    bool m_closing = false;
    bool m_showsPicture = false;
};

} // namespace tessaline
