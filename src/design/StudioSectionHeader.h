#pragma once

#include <QPointer>
#include <QWidget>

#include <optional>

namespace tessaline {

class StudioText;

// The title row of a section: a title, an optional subtitle under it, and at
// the right end the section's own controls, at least 8 pixels away.
class StudioSectionHeader : public QWidget
{
    Q_OBJECT
public:
    // Takes ownership of `trailing`, which may be null.
    StudioSectionHeader(const QString &title, const std::optional<QString> &subtitle = std::nullopt,
                        QWidget *trailing = nullptr, QWidget *parent = nullptr);

    QString title() const;
    void setTitle(const QString &title);
    std::optional<QString> subtitle() const;
    // No subtitle leaves a single title line.
    void setSubtitle(const std::optional<QString> &subtitle);
    QWidget *trailing() const { return m_trailing; }

    StudioText *titleLabel() const { return m_title; }
    // Hidden while there is no subtitle.
    StudioText *subtitleLabel() const { return m_subtitle; }

private:
    void updateAccessibleName();

    StudioText *m_title;
    StudioText *m_subtitle;
    bool m_hasSubtitle = false;
    QPointer<QWidget> m_trailing;
};

} // namespace tessaline
