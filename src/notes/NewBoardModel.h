#pragma once

#include <QDateTime>
#include <QObject>
#include <QString>

#include <functional>
#include <optional>

namespace tessaline {

class ModelContext;
class NavigationState;

// What the new note sheet decides: a note name and a focus question as
// typed, and what a successful create hands to the main window. The note
// is made by the note service; the sheet stores nothing itself.
class NewBoardModel : public QObject
{
    Q_OBJECT
public:
    NewBoardModel(ModelContext &context, NavigationState &navigation, QObject *parent = nullptr);

    void setClock(std::function<QDateTime()> clock) { m_clock = std::move(clock); }

    QString title() const { return m_title; }
    void setTitle(const QString &title);
    QString focusQuestion() const { return m_focusQuestion; }
    void setFocusQuestion(const QString &question);
    // A name of blanks cannot start a note.
    bool canCreate() const;

    std::optional<QString> errorMessage() const { return m_errorMessage; }
    void clearErrorMessage();

    // Return: creates the note when it can be created, else does nothing.
    void submit();
    // Creates the note (its name trimmed, the question as typed); on success
    // the notes screen opens on it and the sheet closes, on failure the
    // alert shows and nothing else changes.
    bool create();
    // Closes the sheet; nothing is stored.
    void cancel();

Q_SIGNALS:
    void changed();
    void dismissRequested();

private:
    ModelContext &m_context;
    NavigationState &m_navigation;
    QString m_title;
    QString m_focusQuestion;
    std::optional<QString> m_errorMessage;
    std::function<QDateTime()> m_clock;
};

} // namespace tessaline
