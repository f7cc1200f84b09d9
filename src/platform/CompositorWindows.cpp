#include "platform/CompositorWindows.h"

#include <algorithm>

namespace tessaline {

const CompositorWindow *CompositorTree::focusedWindow() const
{
    const auto found = std::find_if(windows.begin(), windows.end(),
                                    [](const CompositorWindow &window) { return window.focused; });
    return found != windows.end() ? &*found : nullptr;
}

const CompositorWindow *CompositorTree::window(qint64 id) const
{
    const auto found = std::find_if(windows.begin(), windows.end(),
                                    [&](const CompositorWindow &window) { return window.id == id; });
    return found != windows.end() ? &*found : nullptr;
}

const CompositorOutput *CompositorTree::outputShowing(const QRect &rect) const
{
    const CompositorOutput *best = nullptr;
    qint64 bestArea = 0;
    for (const CompositorOutput &output : outputs) {
        const QRect part = output.rect.intersected(rect);
        const qint64 area = part.isEmpty() ? 0 : qint64(part.width()) * part.height();
        if (area > bestArea) {
            best = &output;
            bestArea = area;
        }
    }
    return best;
}

QRect CompositorTree::desktop() const
{
    QRect box;
    for (const CompositorOutput &output : outputs)
        box = box.united(output.rect);
    return box;
}

} // namespace tessaline
