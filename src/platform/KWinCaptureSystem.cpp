#include "platform/KWinCaptureSystem.h"

#include "platform/KWinWindows.h"

#include <QTimer>

namespace tessaline {

std::optional<CompositorTree> KWinCaptureSystem::tree()
{
    if (!m_answer) {
        m_answer = KWinWindows::tree();
        QTimer::singleShot(0, &m_turn, [this] { m_answer.reset(); });
    }
    return *m_answer;
}

} // namespace tessaline
