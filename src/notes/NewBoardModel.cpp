#include "notes/NewBoardModel.h"

#include "runtime/NavigationState.h"
#include "runtime/SidebarDestination.h"
#include "model/Board.h"
#include "model/ThinkingSessionService.h"
#include "platform/TextUtilities.h"

namespace tessaline {

NewBoardModel::NewBoardModel(ModelContext &context, NavigationState &navigation, QObject *parent)
    : QObject(parent)
    , m_context(context)
    , m_navigation(navigation)
    , m_clock([] { return QDateTime::currentDateTimeUtc(); })
{
}

void NewBoardModel::setTitle(const QString &title)
{
    if (title == m_title)
        return;
    m_title = title;
    Q_EMIT changed();
}

void NewBoardModel::setFocusQuestion(const QString &question)
{
    if (question == m_focusQuestion)
        return;
    m_focusQuestion = question;
    Q_EMIT changed();
}

bool NewBoardModel::canCreate() const { return !isBlank(m_title); }

void NewBoardModel::clearErrorMessage()
{
    if (!m_errorMessage)
        return;
    m_errorMessage.reset();
    Q_EMIT changed();
}

void NewBoardModel::submit()
{
    if (canCreate())
        create();
}

bool NewBoardModel::create()
{
    // The question is always passed, untrimmed: an empty field stores an
    // empty question rather than none.
    const auto note = ThinkingSessionService(m_context).createNote(m_title, m_focusQuestion, m_clock());
    if (!note) {
        m_errorMessage = note.error().message;
        Q_EMIT changed();
        return false;
    }
    m_navigation.setDestination(SidebarDestination::notes());
    m_navigation.setActiveBoardID((*note)->id());
    Q_EMIT dismissRequested();
    return true;
}

void NewBoardModel::cancel() { Q_EMIT dismissRequested(); }

} // namespace tessaline
