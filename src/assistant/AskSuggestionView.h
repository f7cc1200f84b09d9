#pragma once

#include <QDialog>
#include <QList>
#include <QPointer>
#include <QUuid>

#include <memory>

class QComboBox;
class QMessageBox;
class QPlainTextEdit;
class QStackedWidget;

namespace tessaline {

class AskSuggestionModel;
class IntelligenceService;
class ModelContext;
class StudioCompactButton;
class StudioEmptyState;
class StudioTag;
class StudioText;
class TessalinePrimaryButton;

// The thinking assistant sheet: pick a question about the selected cards,
// get a reflection, edit it, keep it as a thought card or dismiss it.
// Escape dismisses; Return keeps when keeping is possible (Shift+Return
// breaks the line in the editor).
class AskSuggestionView : public QDialog
{
    Q_OBJECT
public:
    AskSuggestionView(ModelContext &context, const QUuid &boardID, const QList<QUuid> &sourceCardIDs,
                      std::unique_ptr<IntelligenceService> intelligence, QWidget *parent = nullptr);

    AskSuggestionModel &model() const { return *m_model; }
    StudioTag *badge() const { return m_badge; }
    QComboBox *promptPicker() const { return m_picker; }
    QStackedWidget *mainArea() const { return m_mainArea; }
    StudioEmptyState *emptyState() const { return m_emptyState; }
    QPlainTextEdit *editor() const { return m_editor; }
    // Says that the editor shows only the start of a long answer.
    StudioText *cutNotice() const { return m_cutNotice; }
    StudioCompactButton *dismissButton() const { return m_dismiss; }
    StudioCompactButton *tryAgainButton() const { return m_tryAgain; }
    TessalinePrimaryButton *keepButton() const { return m_keep; }
    QMessageBox *alert() const;

    void reject() override;

protected:
    void showEvent(QShowEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    QWidget *makeGeneratingPage();
    QWidget *makePreviewPage();
    void refresh();
    void finish();

    AskSuggestionModel *m_model;
    StudioTag *m_badge = nullptr;
    QComboBox *m_picker = nullptr;
    QStackedWidget *m_mainArea = nullptr;
    StudioEmptyState *m_emptyState = nullptr;
    QWidget *m_generatingPage = nullptr;
    QWidget *m_previewPage = nullptr;
    QPlainTextEdit *m_editor = nullptr;
    StudioText *m_cutNotice = nullptr;
    StudioCompactButton *m_dismiss = nullptr;
    StudioCompactButton *m_tryAgain = nullptr;
    TessalinePrimaryButton *m_keep = nullptr;
    QPointer<QMessageBox> m_alert;
    bool m_finishing = false;
};

} // namespace tessaline
