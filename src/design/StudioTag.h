#pragma once

#include <QWidget>

namespace tessaline {

// A small chip with a word and an optional symbol: kinds and statuses on
// cards, previews and search results. The title stays on one line.
class StudioTag : public QWidget
{
    Q_OBJECT
public:
    explicit StudioTag(const QString &title, const QString &systemImage = {}, bool isSelected = false,
                       QWidget *parent = nullptr);

    QString title() const { return m_title; }
    void setTitle(const QString &title);
    QString systemImage() const { return m_systemImage; }
    void setSystemImage(const QString &systemName);
    bool isSelected() const { return m_selected; }
    void setSelected(bool selected);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QString m_title;
    QString m_systemImage;
    bool m_selected;
};

} // namespace tessaline
