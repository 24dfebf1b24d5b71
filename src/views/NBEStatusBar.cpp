#include "NBEStatusBar.h"

#include "NBEDiagnosticsListView.h"
#include "NBEDiagnosticsStore.h"
#include "NBEEditorDocument.h"
#include "NBEWorkspaceLanguageServers.h"
#include "NBEWorkspaceTabs.h"

#include <QAbstractButton>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QScreen>
#include <QStyleOption>

namespace {

constexpr int itemSpacing = 8;
constexpr int symbolGap = 4;

} // namespace

// The error and warning counts as one flat button, each count behind its
// symbol.
class NBEIssueButton : public QAbstractButton
{
public:
    explicit NBEIssueButton(QWidget *parent)
        : QAbstractButton(parent)
    {
        setCursor(Qt::PointingHandCursor);
        setFocusPolicy(Qt::NoFocus);
        setFont(NBEDiagnosticsListView::captionFont(font()));
    }

    void setItems(const QList<NBEStatusBarIssue> &items)
    {
        if (items == m_items)
            return;
        m_items = items;
        updateGeometry();
        update();
    }
    const QList<NBEStatusBarIssue> &items() const { return m_items; }

    QSize sizeHint() const override
    {
        const QFontMetrics metrics(font());
        int width = 0;
        for (const NBEStatusBarIssue &item : m_items)
            width += (width ? itemSpacing : 0) + metrics.height() + symbolGap +
                     metrics.horizontalAdvance(item.count);
        return {width, metrics.height()};
    }
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter painter(this);
        const QFontMetrics metrics(font());
        const int size = metrics.height();
        const int top = (height() - size) / 2;
        const QColor secondary = palette().color(QPalette::PlaceholderText);
        int x = 0;
        for (const NBEStatusBarIssue &item : m_items) {
            const QColor color = item.isError ? NBEDiagnosticsListView::errorColor() : secondary;
            painter.drawPixmap(x, top,
                               NBEDiagnosticsListView::symbolPixmap(item.symbol, color, size,
                                                                    devicePixelRatioF()));
            x += size + symbolGap;
            painter.setPen(color);
            const int advance = metrics.horizontalAdvance(item.count);
            painter.drawText(QRect(x, 0, advance, height()), Qt::AlignLeft | Qt::AlignVCenter,
                             item.count);
            x += advance + itemSpacing;
        }
    }

private:
    QList<NBEStatusBarIssue> m_items;
};

NBEStatusBar::NBEStatusBar(NBEWorkspaceTabs &tabs, NBEDiagnosticsStore &diagnostics,
                           NBEWorkspaceLanguageServers &servers, NBEWorkspaceNavigation &navigation,
                           QWidget *parent)
    : QWidget(parent)
    , m_tabs(tabs)
    , m_diagnostics(diagnostics)
    , m_servers(servers)
    , m_navigation(navigation)
{
    setFixedHeight(barHeight);
    const auto caption = [this](const QString &text) {
        auto *label = new QLabel(text, this);
        label->setFont(NBEDiagnosticsListView::captionFont(font()));
        label->setForegroundRole(QPalette::PlaceholderText);
        label->setTextFormat(Qt::PlainText);
        return label;
    };
    m_language = caption(QString());
    m_issueButton = new NBEIssueButton(this);
    m_issueButton->setToolTip(tr("Show issues"));
    connect(m_issueButton, &QAbstractButton::clicked, this,
            [this] { setShowDiagnostics(!isShowingDiagnostics()); });
    m_caret = caption(QString());
    m_caret->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    m_encoding = caption(QStringLiteral("UTF-8"));
    m_checking = caption(QString());
    m_checking->setObjectName(QStringLiteral("checkingStopped"));

    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(12, 4, 12, 4);
    layout->addWidget(m_language);
    layout->addWidget(m_issueButton);
    layout->addWidget(m_checking);
    layout->addStretch(1);
    layout->addWidget(m_caret);
    layout->addWidget(m_encoding);

    connect(&tabs, &NBEWorkspaceTabs::tabsChanged, this, &NBEStatusBar::refresh);
    // A caret move changes the caret's place only.
    connect(&tabs, &NBEWorkspaceTabs::cursorPositionChanged, this, &NBEStatusBar::refreshCaret);
    connect(&diagnostics, &NBEDiagnosticsStore::changed, this, &NBEStatusBar::refresh);
    connect(&servers, &NBEWorkspaceLanguageServers::checkingStoppedChanged, this,
            &NBEStatusBar::refresh);
    refresh();
}

NBEStatusBar::~NBEStatusBar()
{
    delete m_popover;
}

QAbstractButton *NBEStatusBar::issueButton() const
{
    return m_issueButton;
}

bool NBEStatusBar::isShowingDiagnostics() const
{
    return !m_popover.isNull();
}

NBEDiagnosticsListView *NBEStatusBar::diagnosticsList() const
{
    return m_popover;
}

QList<NBEStatusBarIssue> NBEStatusBar::issues() const
{
    return m_issueButton->items();
}

QList<NBEStatusBarIssue> NBEStatusBar::issueItems(const NBEDiagnosticSummary &summary)
{
    QList<NBEStatusBarIssue> items;
    if (summary.errors > 0)
        items.append({QStringLiteral("xmark.octagon.fill"), QString::number(summary.errors), true});
    if (summary.warnings > 0)
        items.append({QStringLiteral("exclamationmark.triangle.fill"),
                      QString::number(summary.warnings), false});
    return items;
}

QString NBEStatusBar::caretText(int line, int column)
{
    return tr("Ln %1, Col %2").arg(line).arg(column);
}

void NBEStatusBar::refresh()
{
    const std::optional<NBEOpenTab> tab = m_tabs.activeTab();
    const bool hasLanguage = tab && tab->language;
    m_language->setText(hasLanguage ? tab->language->name : QString());
    m_language->setVisible(hasLanguage);

    const QList<NBEStatusBarIssue> items = issueItems(m_diagnostics.summary());
    m_issueButton->setItems(items);
    m_issueButton->setVisible(!items.isEmpty());
    // The list opens only from the button: without counts it goes too.
    if (items.isEmpty())
        setShowDiagnostics(false);

    refreshCaret();
}

void NBEStatusBar::refreshCaret()
{
    const std::optional<NBEOpenTab> tab = m_tabs.activeTab();
    const auto document = tab ? m_tabs.document(tab->id) : nullptr;
    m_caret->setText(document ? caretText(document->caret().line, document->caret().column)
                              : QString());
    // A label of fixed size takes a new text without laying the bar out
    // again, which most keys would; it widens when a text needs it.
    const QSize needed = m_caret->sizeHint();
    if (needed.width() > m_caret->maximumWidth() || needed.height() != m_caret->maximumHeight())
        m_caret->setFixedSize(needed);
    m_caret->setVisible(tab.has_value());

    const std::optional<QString> stopped = m_servers.checkingStoppedNotice();
    m_checking->setText(stopped.value_or(QString()));
    m_checking->setVisible(stopped.has_value());
}

void NBEStatusBar::setShowDiagnostics(bool show)
{
    if (show == isShowingDiagnostics())
        return;
    if (!show) {
        m_popover->close();
        return;
    }
    if (m_issueButton->isHidden())
        return;
    auto *popover = new NBEDiagnosticsListView(m_diagnostics, m_navigation, this, Qt::Popup);
    popover->setAttribute(Qt::WA_DeleteOnClose);
    // A click on the button while the list shows only closes it.
    popover->setAttribute(Qt::WA_NoMouseReplay);
    connect(popover, &NBEDiagnosticsListView::dismissRequested, popover, &QWidget::close);
    m_popover = popover;

    // Above the button, centred on it, kept on the screen.
    const QRect anchor(m_issueButton->mapToGlobal(QPoint(0, 0)), m_issueButton->size());
    QPoint origin(anchor.center().x() - popover->width() / 2, anchor.top() - popover->height());
    if (const QScreen *screen = this->screen()) {
        const QRect area = screen->availableGeometry();
        origin.setX(std::clamp(origin.x(), area.left(),
                               std::max(area.left(), area.right() - popover->width() + 1)));
        if (origin.y() < area.top())
            origin.setY(anchor.bottom() + 1);
    }
    popover->move(origin);
    popover->show();
}

void NBEStatusBar::paintEvent(QPaintEvent *)
{
    // The bar's material: the window colour, a shade off the editor's.
    QPainter painter(this);
    painter.fillRect(rect(), palette().color(QPalette::Window));
}
