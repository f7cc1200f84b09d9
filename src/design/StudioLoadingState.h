#pragma once

#include <QWidget>

#include <optional>

namespace tessaline {

class StudioSpinner;
class StudioText;

// A spinner with what is loading and, optionally, why; read as one item by
// assistive technology.
class StudioLoadingState : public QWidget
{
    Q_OBJECT
public:
    explicit StudioLoadingState(const QString &title, const std::optional<QString> &message = std::nullopt,
                                QWidget *parent = nullptr);

    QString title() const;
    void setTitle(const QString &title);
    std::optional<QString> message() const;
    void setMessage(const std::optional<QString> &message);

    StudioText *titleLabel() const { return m_title; }
    // Hidden while there is no message.
    StudioText *messageLabel() const { return m_message; }

    // The column is at most 320 wide plus padding; a wider cell still places
    // it at that width, so its height is worked out at that width too.
    bool hasHeightForWidth() const override;
    int heightForWidth(int width) const override;

private:
    void updateAccessibleName();

    StudioSpinner *m_spinner;
    StudioText *m_title;
    StudioText *m_message;
    bool m_hasMessage = false;
};

} // namespace tessaline
