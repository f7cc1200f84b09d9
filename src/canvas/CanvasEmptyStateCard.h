#pragma once

#include "design/QuietCard.h"

#include <functional>

class QLabel;

namespace tessaline {

class StudioActionButton;

// The card an empty map shows where the first cards will go: it offers a new
// thought, and either the newest snip of the tray or a fresh capture.
class CanvasEmptyStateCard : public QuietCard
{
    Q_OBJECT
public:
    struct Actions
    {
        std::function<void()> newThought;
        std::function<void()> placeLatest;
        std::function<void()> captureRegion;
    };

    explicit CanvasEmptyStateCard(Actions actions, QWidget *parent = nullptr);

    // With snips in the tray the card offers to place the newest one.
    void setState(const QString &message, bool offersPlaceLatest);

    QLabel *message() const { return m_message; }
    StudioActionButton *placeLatestButton() const { return m_placeLatest; }
    StudioActionButton *captureRegionButton() const { return m_captureRegion; }
    StudioActionButton *newThoughtButton() const { return m_newThought; }

private:
    QLabel *m_message;
    StudioActionButton *m_newThought;
    StudioActionButton *m_placeLatest;
    StudioActionButton *m_captureRegion;
};

} // namespace tessaline
