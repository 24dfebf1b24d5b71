#include "NBEHunkPopoverView.h"

#include "NBEWhenFinished.h"

#include <QFontDatabase>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

#include <algorithm>

namespace {

// Enough to recognise the change; the rest is summarised.
constexpr int shownLines = 12;
constexpr int shownColumns = 100;

QString lineRange(int start, int count)
{
    if (count <= 1)
        return NBEHunkPopoverView::tr("line %1").arg(start);
    return NBEHunkPopoverView::tr("lines %1–%2").arg(start).arg(start + count - 1);
}

// Where a line first differs from its counterpart on the other side (the
// line at the same place); its start when it has none.
qsizetype firstDifference(const QStringList &lines, const QStringList &others, qsizetype i)
{
    if (i >= others.size())
        return 0;
    const QString &line = lines[i];
    const QString &other = others[i];
    const qsizetype shorter = std::min(line.size(), other.size());
    return std::mismatch(line.cbegin(), line.cbegin() + shorter, other.cbegin()).first -
           line.cbegin();
}

// A window of a long line around `column`, elided on the sides cut off: a
// change far into a minified line is what shows, not the equal start.
QString around(const QString &line, qsizetype column)
{
    if (line.size() <= shownColumns)
        return line;
    const qsizetype lead = shownColumns / 4;
    const qsizetype from =
        std::clamp<qsizetype>(column - lead, 0, std::max<qsizetype>(0, line.size() - shownColumns));
    QString shown = line.mid(from, shownColumns);
    if (from > 0)
        shown.prepend(QChar(0x2026));
    if (from + shownColumns < line.size())
        shown.append(QChar(0x2026));
    return shown;
}

void appendLines(QString &html, const QStringList &lines, const QStringList &others, QChar sign,
                 const QString &color)
{
    const qsizetype shown = std::min<qsizetype>(lines.size(), shownLines);
    for (qsizetype i = 0; i < shown; ++i) {
        const QString line = around(lines[i], firstDifference(lines, others, i));
        html += QStringLiteral("<div style=\"color:%1\">%2 %3</div>")
                    .arg(color, QString(sign), line.toHtmlEscaped());
    }
    if (lines.size() > shown)
        html += QStringLiteral("<div style=\"color:%1\">%2</div>")
                    .arg(color, NBEHunkPopoverView::tr("… %n more line(s)", nullptr,
                                                       int(lines.size() - shown))
                                    .toHtmlEscaped());
}

} // namespace

NBEHunkPopoverView::NBEHunkPopoverView(const NBEDiffHunk &hunk, bool canStage,
                                       std::function<void()> onDiscard,
                                       std::function<void()> onStage,
                                       std::function<void()> onUnstage,
                                       std::function<QFuture<bool>()> isStaged, QWidget *parent)
    : QFrame(parent, Qt::Popup)
    , m_canStage(canStage)
    , m_onDiscard(std::move(onDiscard))
    , m_onStage(std::move(onStage))
    , m_onUnstage(std::move(onUnstage))
    , m_isStagedQuery(std::move(isStaged))
{
    setAttribute(Qt::WA_DeleteOnClose);
    setFrameShape(QFrame::StyledPanel);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(10, 8, 10, 8);
    layout->setSpacing(6);

    auto *heading = new QLabel(title(hunk), this);
    QFont bold = heading->font();
    bold.setBold(true);
    heading->setFont(bold);
    layout->addWidget(heading);

    QString html = QStringLiteral("<div style=\"white-space:pre\">");
    appendLines(html, hunk.oldLines, hunk.newLines, u'-', QStringLiteral("#d03b3b"));
    appendLines(html, hunk.newLines, hunk.oldLines, u'+', QStringLiteral("#239a3b"));
    html += QStringLiteral("</div>");
    auto *lines = new QLabel(html, this);
    lines->setObjectName(QStringLiteral("hunkLines"));
    lines->setTextFormat(Qt::RichText);
    lines->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    lines->setTextInteractionFlags(Qt::TextSelectableByMouse);
    layout->addWidget(lines);

    auto *buttons = new QHBoxLayout;
    buttons->addStretch(1);
    m_stage = new QPushButton(tr("Stage"), this);
    m_stage->setVisible(false);
    buttons->addWidget(m_stage);
    m_discard = new QPushButton(tr("Discard"), this);
    buttons->addWidget(m_discard);
    layout->addLayout(buttons);

    connect(m_discard, &QPushButton::clicked, this, [this] { run(m_onDiscard); });
    connect(m_stage, &QPushButton::clicked, this, [this] {
        if (m_isStaged)
            run(*m_isStaged ? m_onUnstage : m_onStage);
    });
}

QString NBEHunkPopoverView::title(const NBEDiffHunk &hunk)
{
    switch (hunk.kind) {
    case NBEDiffHunk::Kind::added:
        return tr("Added %1").arg(lineRange(hunk.newStart, hunk.newLineCount()));
    case NBEDiffHunk::Kind::modified:
        return tr("Changed %1").arg(lineRange(hunk.newStart, hunk.newLineCount()));
    case NBEDiffHunk::Kind::deleted:
        return tr("Removed %n line(s) of HEAD", nullptr, hunk.oldLineCount());
    }
    return {};
}

void NBEHunkPopoverView::showBeside(const QPoint &topLeft)
{
    adjustSize();
    QPoint position = topLeft;
    if (const QScreen *screen = QGuiApplication::screenAt(topLeft)) {
        const QRect available = screen->availableGeometry();
        if (position.x() + width() > available.right())
            position.setX(std::max(available.left(), available.right() - width()));
        if (position.y() + height() > available.bottom())
            position.setY(std::max(available.top(), topLeft.y() - height() - 2));
    }
    move(position);
    show();
}

void NBEHunkPopoverView::showEvent(QShowEvent *event)
{
    QFrame::showEvent(event);
    if (m_asked || !m_canStage)
        return;
    m_asked = true;
    if (!m_isStagedQuery)
        return;
    nbeWhenFinished(m_isStagedQuery(), this, [this](bool staged) {
        m_isStaged = staged;
        m_stage->setText(staged ? tr("Unstage") : tr("Stage"));
        m_stage->setVisible(true);
        adjustSize();
    });
}

void NBEHunkPopoverView::run(const std::function<void()> &action)
{
    // One action per popover, even when a second click arrives before the
    // first one has closed it.
    if (m_acted)
        return;
    m_acted = true;
    m_discard->setEnabled(false);
    m_stage->setEnabled(false);
    const std::function<void()> chosen = action;
    close();
    if (chosen)
        chosen();
}
