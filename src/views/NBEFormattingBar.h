#pragma once

#include <QIcon>
#include <QScrollArea>
#include <QToolButton>

class QHBoxLayout;

// A flat 26 x 26 icon button of the formatting toolbars: no bezel, a faint
// rounded background only while the pointer is over it, and the whole square
// takes the click.
class NBEToolbarButton : public QToolButton
{
    Q_OBJECT

public:
    NBEToolbarButton(const QIcon &icon, const QString &toolTip, QWidget *parent = nullptr);

    // A button that opens its menu on press and draws no hover background.
    void setPullDownMenu(QMenu *menu);

protected:
    void paintEvent(QPaintEvent *event) override;
    void enterEvent(QEnterEvent *event) override;
    void leaveEvent(QEvent *event) override;

private:
    bool m_hovering = false;
};

// The one-row strip the Markdown and HTML toolbars are made of: 34 points
// tall, scrolling sideways without scroll bars when the window is narrower
// than the row, on the window's bar background.
class NBEFormattingBar : public QScrollArea
{
    Q_OBJECT

public:
    explicit NBEFormattingBar(QWidget *parent = nullptr);

    static constexpr int barHeight = 34;

    NBEToolbarButton *addButton(const QString &symbol, const QString &toolTip);
    void addSeparator();
    void addWidget(QWidget *widget);
    // The row's buttons, in order (menus included).
    QList<NBEToolbarButton *> buttons() const;

protected:
    void wheelEvent(QWheelEvent *event) override;

private:
    QWidget *m_row;
    QHBoxLayout *m_layout;
};
