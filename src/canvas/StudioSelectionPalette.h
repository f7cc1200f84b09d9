#pragma once

#include "canvas/StudioSelectionAction.h"
#include "design/FunctionalSurface.h"

#include <QHash>

#include <functional>

class QHBoxLayout;
class QLabel;

namespace tessaline {

class StudioIconButton;

// The small floating bar of actions on the selected cards. It knows nothing
// of cards: it shows a count, its buttons (some disabled) and calls the
// handler with the button clicked.
class StudioSelectionPalette : public FunctionalSurface
{
    Q_OBJECT
public:
    using Handler = std::function<void(StudioSelectionAction)>;

    explicit StudioSelectionPalette(Handler handler, QWidget *parent = nullptr);

    // `assistantAvailable` only words the tooltip of a disabled Ask.
    void setState(qsizetype selectedCount, const QSet<StudioSelectionAction> &disabled, bool assistantAvailable);

    StudioIconButton *button(StudioSelectionAction action) const { return m_buttons.value(action); }
    // The count and its symbol, shown from two selected cards on.
    QWidget *caption() const { return m_caption; }
    QLabel *count() const { return m_count; }

private:
    Handler m_handler;
    QWidget *m_caption;
    QLabel *m_count;
    QWidget *m_captionDivider;
    QHash<StudioSelectionAction, StudioIconButton *> m_buttons;
};

} // namespace tessaline
