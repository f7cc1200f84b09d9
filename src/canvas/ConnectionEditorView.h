#pragma once

#include <QDialog>
#include <QPointer>

class QLabel;
class QLineEdit;
class QMessageBox;

namespace tessaline {

class ConnectionEditorModel;
class ModelContext;
class StudioButton;

// The sheet that confirms a connection from one card to another and takes
// an optional label. Connect stores it and closes; a refusal or a failed
// save is shown in the sheet's own alert and the sheet stays open.
class ConnectionEditorView : public QDialog
{
    Q_OBJECT
public:
    ConnectionEditorView(ModelContext &context, const QUuid &sourceCardID, const QUuid &destinationCardID,
                         QWidget *parent = nullptr);

    ConnectionEditorModel &model() const { return *m_model; }
    QLineEdit *labelField() const { return m_label; }
    StudioButton *connectButton() const { return m_connect; }
    QLabel *sourceChip() const { return m_sourceChip; }
    QLabel *destinationChip() const { return m_destinationChip; }

protected:
    void showEvent(QShowEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    void refresh();
    void connectCards();

    ConnectionEditorModel *m_model;
    QLabel *m_sourceChip;
    QLabel *m_destinationChip;
    QLineEdit *m_label;
    StudioButton *m_connect;
    QPointer<QMessageBox> m_alert;
};

} // namespace tessaline
