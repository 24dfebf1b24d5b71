#include "NBEHoverPanelView.h"

#include "NBEHoverController.h"
#include "NBEMarkdownHTMLRenderer.h"

#include <QHash>
#include <QLabel>
#include <QScrollArea>
#include <QVBoxLayout>

namespace {
constexpr int padding = 8;

struct BacktickRun
{
    qsizetype start;
    qsizetype width;
};

QList<BacktickRun> backtickRuns(const QString &text)
{
    QList<BacktickRun> runs;
    for (qsizetype at = 0; (at = text.indexOf(u'`', at)) >= 0;) {
        qsizetype end = at;
        while (end < text.size() && text[end] == u'`')
            ++end;
        runs.append({at, end - at});
        at = end;
    }
    return runs;
}

// The text of a code span between runs of `width` backticks: a fence's first
// line names the language, and the line breaks next to the runs frame it.
QString codeSpanText(QString code, qsizetype width)
{
    if (width >= 3) {
        const qsizetype lineEnd = code.indexOf(u'\n');
        if (lineEnd >= 0 && !code.left(lineEnd).trimmed().contains(u' '))
            code.remove(0, lineEnd + 1);
        if (code.endsWith(u'\n'))
            code.chop(1);
    } else if (code.size() > 2 && code.startsWith(u' ') && code.endsWith(u' ') &&
               !code.trimmed().isEmpty()) {
        code = code.mid(1, code.size() - 2);
    }
    return code;
}
} // namespace

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
    m_label->setText(contentHTML(text));
}

QString NBEHoverPanelView::contentHTML(const QString &text)
{
    // Inline Markdown only, with the server's line breaks kept. Spans of two
    // or more backticks are taken out first; single ones are the
    // renderer's.
    QString html;
    qsizetype plainFrom = 0;
    // Each width's runs in order, and how far its closing search has come:
    // runs passed over never close a later span either, so the whole text
    // is read once however many runs stay open.
    const QList<BacktickRun> runs = backtickRuns(text);
    QHash<qsizetype, QList<qsizetype>> runsOfWidth;
    for (qsizetype i = 0; i < runs.size(); ++i)
        runsOfWidth[runs[i].width].append(i);
    QHash<qsizetype, qsizetype> searched;
    for (qsizetype i = 0; i < runs.size(); ++i) {
        const qsizetype width = runs[i].width;
        if (width < 2)
            continue;
        const QList<qsizetype> &sameWidth = runsOfWidth[width];
        qsizetype &next = searched[width];
        while (next < sameWidth.size() && sameWidth[next] <= i)
            ++next;
        if (next == sameWidth.size())
            continue;
        const qsizetype closing = sameWidth[next];
        const qsizetype open = runs[i].start + width;
        const qsizetype close = runs[closing].start;
        html += NBEMarkdownHTMLRenderer::inlineHTML(text.mid(plainFrom, runs[i].start - plainFrom),
                                                    true);
        const QString code = codeSpanText(text.mid(open, close - open), width);
        html += QStringLiteral("<code>") +
                NBEMarkdownHTMLRenderer::escape(code).replace(u'\n', QStringLiteral("<br>")) +
                QStringLiteral("</code>");
        plainFrom = close + width;
        i = closing;
    }
    return html + NBEMarkdownHTMLRenderer::inlineHTML(text.mid(plainFrom), true);
}

int NBEHoverPanelView::fittingHeight() const
{
    // The style sheet's border and the layout's margins surround the label;
    // measured short, the label needs a scroll bar, which narrows it further.
    ensurePolished();
    const QMargins around = layout()->contentsMargins();
    const int chromeWidth = width() - contentsRect().width() + around.left() + around.right();
    const int chromeHeight = height() - contentsRect().height() + around.top() + around.bottom();
    const int content = m_label->heightForWidth(NBEHoverController::panelWidth - chromeWidth);
    return std::clamp(content + chromeHeight, NBEHoverController::minPanelHeight,
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
