#include "NBEHoverController.h"

#include "NBEMarkdownHTMLRenderer.h"

#include <QCursor>
#include <QEvent>
#include <QGuiApplication>
#include <QLabel>
#include <QMouseEvent>
#include <QScrollArea>
#include <QVBoxLayout>

NBEHoverTrackingView::NBEHoverTrackingView(QWidget *tracked)
    : QObject(tracked)
    , m_tracked(tracked)
{
    tracked->setMouseTracking(true);
    tracked->installEventFilter(this);
}

bool NBEHoverTrackingView::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_tracked) {
        if (event->type() == QEvent::MouseMove) {
            const auto *move = static_cast<QMouseEvent *>(event);
            if (onMove)
                onMove(move->position().toPoint(), move->globalPosition().toPoint());
        } else if (event->type() == QEvent::Leave) {
            if (onExit)
                onExit();
        }
    }
    return false;
}

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

NBEHoverController::NBEHoverController(QObject *parent)
    : QObject(parent)
{
    m_pendingHide.setSingleShot(true);
    m_pendingHide.setInterval(graceMs);
    connect(&m_pendingHide, &QTimer::timeout, this, [this] {
        if (!m_panel)
            return;
        // The mouse on its way into the panel keeps it.
        const QRect area =
            QRect(m_panel->mapToGlobal(QPoint(0, 0)), m_panel->size()).adjusted(-6, -6, 6, 6);
        if (!area.contains(QCursor::pos()))
            hide();
    });
    // Like a floating panel, it goes when the application is left.
    connect(qApp, &QGuiApplication::applicationStateChanged, this,
            [this](Qt::ApplicationState state) {
                if (state != Qt::ApplicationActive)
                    hide();
            });
}

NBEHoverController::~NBEHoverController()
{
    delete m_panel;
}

bool NBEHoverController::isVisible() const
{
    return m_panel && m_panel->isVisible();
}

void NBEHoverController::show(const QString &text, const QPoint &at, QWidget *window)
{
    m_pendingHide.stop();
    if (!window)
        return;
    if (m_panel && m_panel->parentWidget() != window)
        delete m_panel;
    if (!m_panel) {
        m_panel = new NBEHoverPanelView(window);
        m_panel->onEnter = [this] { m_pendingHide.stop(); };
        m_panel->onExit = [this] { hide(); };
    }
    m_panel->setText(text);
    const int height = m_panel->fittingHeight();
    // Below the pointer; a child widget can't reach past its window, so near
    // the bottom (or right) edge it moves inside the window.
    const QPoint pointer = window->mapFromGlobal(at);
    int y = pointer.y() + pointerGap;
    if (y + height > window->height() && pointer.y() - pointerGap - height >= 0)
        y = pointer.y() - pointerGap - height;
    const int x = std::max(0, std::min(pointer.x(), window->width() - panelWidth));
    m_panel->setGeometry(x, y, panelWidth, height);
    m_panel->raise();
    m_panel->show();
}

void NBEHoverController::hide()
{
    m_pendingHide.stop();
    if (m_panel)
        m_panel->hide();
}

void NBEHoverController::requestHide()
{
    m_pendingHide.start();
}
