#pragma once

#include <QWidget>

class QLabel;
class QToolButton;
class QVBoxLayout;

namespace tessaline {

class SnipGalleryModel;

// The gallery's details column for the snip on show: its title and note,
// its caption ("Context"), the capture details and its recognised text
// behind a disclosure. Built again whenever the snip or its card changes;
// every text is plain and selectable.
class SnipGalleryInfoPanel : public QWidget
{
    Q_OBJECT
public:
    static constexpr int panelWidth = 276;

    explicit SnipGalleryInfoPanel(SnipGalleryModel &model, QWidget *parent = nullptr);

    // Reads the current snip again.
    void rebuild();

    // The details rows as shown, label then value (tests).
    QList<std::pair<QString, QString>> shownRows() const;
    QStringList sectionTitles() const;
    bool isRecognizedTextExpanded() const { return m_recognizedTextExpanded; }

private:
    SnipGalleryModel &m_model;
    QVBoxLayout *m_column;
    QList<std::pair<QLabel *, QLabel *>> m_rows;
    QStringList m_sections;
    // Lives as long as the panel: a new snip keeps the disclosure as it was.
    bool m_recognizedTextExpanded = false;
};

} // namespace tessaline
