#pragma once

#include <QWidget>

#include <functional>
#include <optional>

class QLabel;

namespace tessaline {

class StudioActionButton;
class StudioText;

// The panel shown where there is nothing to show: a symbol, a title, a
// message, and an action button when both an action title and an action are
// given.
class StudioEmptyState : public QWidget
{
    Q_OBJECT
public:
    StudioEmptyState(const QString &title, const QString &message, const QString &systemImage,
                     const std::optional<QString> &actionTitle = std::nullopt,
                     const std::optional<QString> &actionSystemImage = std::nullopt,
                     std::function<void()> action = {}, QWidget *parent = nullptr);

    QString title() const;
    void setTitle(const QString &title);
    QString message() const;
    void setMessage(const QString &message);
    QString systemImage() const { return m_systemImage; }
    void setSystemImage(const QString &systemName);

    StudioText *titleLabel() const { return m_title; }
    StudioText *messageLabel() const { return m_message; }
    // Null unless both an action title and an action were given.
    StudioActionButton *actionButton() const { return m_action; }

    // The column is at most 320 wide plus padding; a wider cell still places
    // it at that width, so its height is worked out at that width too.
    bool hasHeightForWidth() const override;
    int heightForWidth(int width) const override;

protected:
    void changeEvent(QEvent *event) override;

private:
    void refreshSymbol();

    QString m_systemImage;
    QLabel *m_symbol;
    StudioText *m_title;
    StudioText *m_message;
    StudioActionButton *m_action = nullptr;
};

} // namespace tessaline
