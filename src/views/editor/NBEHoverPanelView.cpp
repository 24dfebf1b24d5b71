#include "NBEHoverPanelView.h"

#include "NBEHoverController.h"
#include "NBEMarkdownHTMLRenderer.h"

#include <QLabel>
#include <QScrollArea>
#include <QVBoxLayout>

namespace {
constexpr int padding = 8;
}

NBEHoverPanelView::NBEHoverPanelView(QWidget *parent)
    : QFrame(parent)
    , m_label(new QLabel)
    , m_scroll(new QScrollArea(this))
{
    setObjectName(QStringLiteral("hoverPanel"));
    setFocusPolicy(Qt::NoFocus);
    setAttribute(Qt::WA_StyledBackground);
    setStyleSheet(QStringLiteral(
        "#hoverPanel { background: palette(base); border: 1px solid palette(mid);"
        " border-radius: 8px; }"
        "QScrollArea, QScrollArea > QWidget > QWidget { background: transparent; border: none; }"));
    m_label->setTextFormat(Qt::RichText);
    m_label->setWordWrap(true);
    m_label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    m_label->setContentsMargins(padding, padding, padding, padding);
    m_label->setTextInteractionFlags(Qt::LinksAccessibleByMouse | Qt::TextSelectableByMouse);
    m_label->setOpenExternalLinks(true);
    m_label->setFocusPolicy(Qt::NoFocus);
    QFont font = m_label->font();
    font.setPointSizeF(9);
    m_label->setFont(font);
    m_scroll->setWidget(m_label);
    m_scroll->setWidgetResizable(true);
    m_scroll->setFocusPolicy(Qt::NoFocus);
    m_scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(1, 1, 1, 1);
    layout->addWidget(m_scroll);
}

void NBEHoverPanelView::setText(const QString &text)
{
    m_text = text;
    // Inline Markdown only, with the server's line breaks kept.
    m_label->setText(NBEMarkdownHTMLRenderer::inlineHTML(text, true));
}

int NBEHoverPanelView::fittingHeight() const
{
    const int content = m_label->heightForWidth(NBEHoverController::panelWidth - 2);
    return std::clamp(content + 2, NBEHoverController::minPanelHeight,
                      NBEHoverController::maxPanelHeight);
}

void NBEHoverPanelView::enterEvent(QEnterEvent *event)
{
    QFrame::enterEvent(event);
    if (onEnter)
        onEnter();
}

void NBEHoverPanelView::leaveEvent(QEvent *event)
{
    QFrame::leaveEvent(event);
    if (onExit)
        onExit();
}
