#pragma once

#include "model/AnnotationTool.h"

#include <QHash>
#include <QList>
#include <QPointer>
#include <QWidget>

class QHBoxLayout;
class QLabel;
class QSlider;
class QVBoxLayout;

namespace tessaline {

class AnnotationEditorModel;
class StudioActionButton;
class StudioIconButton;
class StudioText;
class SymbolLabel;

// The editor's toolbar: the seven tools, the colour and width controls (or
// the pixelate hint), the selected item's actions and undo/redo. It lays
// itself out on one row when that fits whole, else on two: tools and
// history above, style and item actions below.
class AnnotationToolbar : public QWidget
{
    Q_OBJECT
public:
    explicit AnnotationToolbar(AnnotationEditorModel &model, QWidget *parent = nullptr);
    ~AnnotationToolbar() override;

    bool isSingleRow() const { return m_singleRow; }
    StudioIconButton *toolButton(AnnotationTool tool) const { return m_toolButtons.value(tool); }
    QList<QWidget *> swatchButtons() const { return m_swatchButtons; }
    QSlider *widthSlider() const { return m_widthSlider; }
    QLabel *widthValueLabel() const { return m_widthValue; }
    QString widthSymbol() const { return m_widthSymbolName; }
    StudioText *pixelateHint() const { return m_pixelateHint; }
    QWidget *styleControls() const { return m_styleControls; }
    QWidget *itemActions() const { return m_itemActions; }
    StudioActionButton *editTextButton() const { return m_editText; }
    StudioIconButton *deleteButton() const { return m_delete; }
    StudioIconButton *undoButton() const { return m_undo; }
    StudioIconButton *redoButton() const { return m_redo; }
    QWidget *customColorPopover() const { return m_colorPopover; }

protected:
    void resizeEvent(QResizeEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    class SwatchButton;
    QWidget *buildTools();
    QWidget *buildStyleControls();
    QWidget *buildItemActions();
    QWidget *buildHistory();
    void refresh();
    void arrange();
    int singleRowWidth() const;
    void showCustomColorPopover(bool shown);

    AnnotationEditorModel &m_model;
    QVBoxLayout *m_rows;
    QHBoxLayout *m_firstRow;
    QHBoxLayout *m_secondRow;
    QWidget *m_tools;
    QWidget *m_style;
    QWidget *m_styleControls;
    StudioText *m_pixelateHint;
    QWidget *m_itemActions;
    QWidget *m_historyDivider;
    QWidget *m_history;
    QHash<AnnotationTool, StudioIconButton *> m_toolButtons;
    QList<QWidget *> m_swatchButtons;
    StudioIconButton *m_paletteButton;
    QPointer<QWidget> m_colorPopover;
    SymbolLabel *m_widthSymbol;
    QString m_widthSymbolName;
    QSlider *m_widthSlider;
    QLabel *m_widthValue;
    StudioActionButton *m_editText;
    StudioIconButton *m_delete;
    StudioIconButton *m_undo;
    StudioIconButton *m_redo;
    bool m_singleRow = true;
    bool m_refreshing = false;
};

} // namespace tessaline
