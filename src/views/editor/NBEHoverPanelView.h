#pragma once

#include <QFrame>

#include <functional>

class QLabel;
class QScrollArea;

// The hover panel's content: the text as inline Markdown, scrolling when it
// is taller than the panel. Tells when the mouse enters and leaves it.
class NBEHoverPanelView : public QFrame
{
    Q_OBJECT

public:
    explicit NBEHoverPanelView(QWidget *parent);

    void setText(const QString &text);
    // The label's rich text for a hover text: inline Markdown in which a code
    // span may be delimited by any run of backticks, as servers send their
    // signatures in fences named after the language (the name isn't shown).
    static QString contentHTML(const QString &text);
    QString text() const { return m_text; }
    // The panel height the text needs at the panel's width, within bounds.
    int fittingHeight() const;

    std::function<void()> onEnter;
    std::function<void()> onExit;

protected:
    void enterEvent(QEnterEvent *event) override;
    void leaveEvent(QEvent *event) override;

private:
    QString m_text;
    QLabel *m_label;
    QScrollArea *m_scroll;
};
