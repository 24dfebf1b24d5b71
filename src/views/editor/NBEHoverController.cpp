#include "NBEHoverController.h"

#include "NBECodeTextEdit.h"
#include "NBEWhenFinished.h"

#include <QCursor>
#include <QGuiApplication>
#include <QScrollBar>
#include <QTextBlock>

NBEHoverController::NBEHoverController(NBECodeTextEdit *textView, QObject *parent)
    : QObject(parent)
    , m_textView(textView)
    , m_tracking(new NBEHoverTrackingView(textView->viewport()))
{
    m_tracking->onMove = [this](const QPoint &local, const QPoint &global) {
        moved(local, global);
    };
    m_tracking->onExit = [this] { exited(); };
    m_restTimer.setSingleShot(true);
    m_restTimer.setInterval(delayMs);
    connect(&m_restTimer, &QTimer::timeout, this, &NBEHoverController::ask);
    // Scrolling moves the text away from under the mouse.
    const auto scrolled = [this] {
        cancel();
        hide();
    };
    connect(textView->verticalScrollBar(), &QScrollBar::valueChanged, this, scrolled);
    connect(textView->horizontalScrollBar(), &QScrollBar::valueChanged, this, scrolled);
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
    cancel();
    delete m_tracking;
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

void NBEHoverController::textEdited()
{
    cancel();
    hide();
}

std::optional<int> NBEHoverController::characterAt(const QPoint &local) const
{
    QTextDocument *document = m_textView->document();
    const int length = document->characterCount() - 1;
    const int nearest = m_textView->cursorForPosition(local).position();
    for (int candidate : {nearest - 1, nearest}) {
        if (candidate < 0 || candidate >= length)
            continue;
        const QTextBlock block = document->findBlock(candidate);
        if (candidate >= block.position() + block.length() - 1)
            continue; // the line's end is no glyph
        QTextCursor cursor(document);
        cursor.setPosition(candidate);
        const QRect left = m_textView->cursorRect(cursor);
        cursor.setPosition(candidate + 1);
        const QRect right = m_textView->cursorRect(cursor);
        // A glyph that ends its visual line reaches one average advance.
        const int end = right.top() == left.top()
                            ? right.left()
                            : left.left() + m_textView->fontMetrics().averageCharWidth();
        if (local.x() >= left.left() && local.x() < end && local.y() >= left.top() &&
            local.y() <= left.bottom())
            return m_textView->textGeometry().toText(candidate);
    }
    return std::nullopt;
}

void NBEHoverController::cancel()
{
    m_restTimer.stop();
    m_hoverOffset.reset();
    m_hovers.supersede();
    if (m_hoverRequest.isValid() && !m_hoverRequest.isFinished())
        m_hoverRequest.cancel();
    m_hoverRequest = {};
}

void NBEHoverController::moved(const QPoint &local, const QPoint &global)
{
    if (!m_textView)
        return;
    std::optional<int> index;
    if (m_provider && !m_textView->document()->isEmpty())
        index = characterAt(local);
    if (!index) {
        cancel();
        requestHide();
        return;
    }
    if (m_hoverOffset == index)
        return;
    cancel();
    m_hoverOffset = index;
    m_hoverScreenPoint = global;
    requestHide();
    m_restTimer.start();
}

void NBEHoverController::exited()
{
    cancel();
    requestHide();
}

void NBEHoverController::ask()
{
    if (!m_textView || !m_hoverOffset || !m_provider)
        return;
    const int index = *m_hoverOffset;
    const NBERequestOrder::Token request = m_hovers.next();
    const QTextBlock block = m_textView->textGeometry().textDocument()->findBlock(index);
    m_hoverRequest = m_provider(block.blockNumber(), index - block.position());
    nbeWhenFinished(m_hoverRequest, this, [this, index, request](const auto &answer) {
        // Only the answer for where the mouse still rests is shown.
        const bool current = m_textView && m_hovers.isCurrent(request) && m_hoverOffset == index;
        if (answer && current)
            show(*answer, m_hoverScreenPoint, m_textView->window());
        Q_EMIT hoverAnswered(answer && current);
    });
}
