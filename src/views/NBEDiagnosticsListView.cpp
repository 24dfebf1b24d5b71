#include "NBEDiagnosticsListView.h"

#include "NBEDiagnosticsStore.h"
#include "NBEWorkspaceNavigation.h"

#include <QAbstractListModel>
#include <QLabel>
#include <QListView>
#include <QPainter>
#include <QPainterPath>
#include <QStackedWidget>
#include <QStyledItemDelegate>
#include <QTextLayout>
#include <QVBoxLayout>

#include <cmath>

namespace {

constexpr int rowPaddingX = 12;
constexpr int rowPaddingY = 6;
constexpr int rowSpacing = 8;
constexpr int textSpacing = 1;

} // namespace

// The entries of one drawing, numbered by their position.
class NBEDiagnosticsListModel : public QAbstractListModel
{
public:
    using QAbstractListModel::QAbstractListModel;

    QList<NBEFileDiagnostic> entries;

    void reset(QList<NBEFileDiagnostic> next)
    {
        beginResetModel();
        entries = std::move(next);
        endResetModel();
    }

    int rowCount(const QModelIndex &parent = {}) const override
    {
        return parent.isValid() ? 0 : int(entries.size());
    }

    QVariant data(const QModelIndex &index, int role) const override
    {
        if (!index.isValid() || index.row() >= entries.size())
            return {};
        const NBEFileDiagnostic &entry = entries.at(index.row());
        switch (role) {
        case Qt::DisplayRole:
            return entry.diagnostic.message;
        case Qt::ToolTipRole:
            return entry.diagnostic.message;
        case Qt::AccessibleDescriptionRole:
            return NBEDiagnosticsListView::locationText(entry);
        default:
            return {};
        }
    }
};

namespace {

// Paints one row: the severity symbol, the message in at most two lines and
// the file's name with the line below it. Rows are painted only as they come
// into view.
class RowDelegate : public QStyledItemDelegate
{
public:
    RowDelegate(NBEDiagnosticsListModel *model, QObject *parent)
        : QStyledItemDelegate(parent)
        , m_model(model)
    {}

    static int iconSize(const QFont &base)
    {
        return QFontMetrics(NBEDiagnosticsListView::calloutFont(base)).height();
    }

    static int textLeft(const QFont &base) { return rowPaddingX + iconSize(base) + rowSpacing; }

    QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const override
    {
        const NBEFileDiagnostic &entry = m_model->entries.at(index.row());
        const QFont callout = NBEDiagnosticsListView::calloutFont(option.font);
        const QFont caption = NBEDiagnosticsListView::captionFont(option.font);
        const int width = option.rect.width() > 0 ? option.rect.width()
                                                  : NBEDiagnosticsListView::panelSize.width();
        const int textWidth = std::max(1, width - textLeft(option.font) - rowPaddingX);
        const qsizetype lines =
            NBEDiagnosticsListView::messageLines(entry.diagnostic.message, callout, textWidth)
                .size();
        const int text = int(std::max<qsizetype>(1, lines)) * QFontMetrics(callout).lineSpacing() +
                         textSpacing + QFontMetrics(caption).height();
        return {width, rowPaddingY * 2 + std::max(text, iconSize(option.font))};
    }

    void paint(QPainter *painter, const QStyleOptionViewItem &option,
               const QModelIndex &index) const override
    {
        const NBEFileDiagnostic &entry = m_model->entries.at(index.row());
        painter->save();
        if (option.state & QStyle::State_MouseOver) {
            QColor hover = option.palette.color(QPalette::Text);
            hover.setAlphaF(0.06);
            painter->fillRect(option.rect, hover);
        }
        const int size = iconSize(option.font);
        const bool isError = entry.diagnostic.severity == NBELSPDiagnosticSeverity::error;
        const QColor secondary = option.palette.color(QPalette::PlaceholderText);
        const qreal dpr = painter->device() ? painter->device()->devicePixelRatioF() : 1.0;
        painter->drawPixmap(option.rect.left() + rowPaddingX, option.rect.top() + rowPaddingY,
                            NBEDiagnosticsListView::symbolPixmap(
                                NBEDiagnosticsListView::symbolName(entry.diagnostic.severity),
                                isError ? NBEDiagnosticsListView::errorColor() : secondary, size,
                                dpr));

        const QFont callout = NBEDiagnosticsListView::calloutFont(option.font);
        const QFont caption = NBEDiagnosticsListView::captionFont(option.font);
        const int left = option.rect.left() + textLeft(option.font);
        const int width = std::max(1, option.rect.right() - rowPaddingX - left + 1);
        int y = option.rect.top() + rowPaddingY;
        painter->setPen(option.palette.color(QPalette::Text));
        painter->setFont(callout);
        const QFontMetrics calloutMetrics(callout);
        for (const QString &line :
             NBEDiagnosticsListView::messageLines(entry.diagnostic.message, callout, width)) {
            painter->drawText(QRect(left, y, width, calloutMetrics.height()),
                              Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, line);
            y += calloutMetrics.lineSpacing();
        }
        if (entry.diagnostic.message.isEmpty())
            y += calloutMetrics.lineSpacing();
        y += textSpacing;
        painter->setFont(caption);
        painter->setPen(secondary);
        const QFontMetrics captionMetrics(caption);
        painter->drawText(QRect(left, y, width, captionMetrics.height()),
                          Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
                          captionMetrics.elidedText(NBEDiagnosticsListView::locationText(entry),
                                                    Qt::ElideMiddle, width));
        painter->restore();
    }

private:
    NBEDiagnosticsListModel *m_model;
};

} // namespace

NBEDiagnosticsListView::NBEDiagnosticsListView(NBEDiagnosticsStore &diagnostics,
                                               NBEWorkspaceNavigation &navigation, QWidget *parent,
                                               Qt::WindowFlags flags)
    : QFrame(parent, flags)
    , m_diagnostics(diagnostics)
    , m_navigation(navigation)
    , m_model(new NBEDiagnosticsListModel(this))
{
    setFixedSize(panelSize);
    setFrameShape(QFrame::StyledPanel);

    auto *header = new QLabel(tr("Issues"), this);
    QFont headline = header->font();
    headline.setBold(true);
    header->setFont(headline);
    header->setContentsMargins(12, 8, 12, 8);

    auto *line = new QFrame(this);
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Plain);
    line->setForegroundRole(QPalette::Mid);

    m_stack = new QStackedWidget(this);
    m_empty = new QLabel(tr("No issues"), m_stack);
    m_empty->setAlignment(Qt::AlignCenter);
    m_empty->setForegroundRole(QPalette::PlaceholderText);
    m_stack->addWidget(m_empty);

    m_list = new QListView(m_stack);
    m_list->setModel(m_model);
    m_list->setItemDelegate(new RowDelegate(m_model, m_list));
    m_list->setFrameShape(QFrame::NoFrame);
    m_list->setSelectionMode(QAbstractItemView::NoSelection);
    m_list->setFocusPolicy(Qt::NoFocus);
    m_list->setMouseTracking(true);
    m_list->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    m_list->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_list->setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    m_list->setResizeMode(QListView::Adjust);
    m_list->setAutoFillBackground(false);
    m_list->viewport()->setAutoFillBackground(false);
    m_stack->addWidget(m_list);
    connect(m_list, &QListView::clicked, this,
            [this](const QModelIndex &index) { choose(index.row()); });

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(header);
    layout->addWidget(line);
    layout->addWidget(m_stack, 1);

    connect(&diagnostics, &NBEDiagnosticsStore::changed, this, &NBEDiagnosticsListView::refresh);
    refresh();
}

bool NBEDiagnosticsListView::isShowingEmptyState() const
{
    return m_stack->currentWidget() == m_empty;
}

const QList<NBEFileDiagnostic> &NBEDiagnosticsListView::entries() const
{
    return m_model->entries;
}

void NBEDiagnosticsListView::refresh()
{
    m_model->reset(m_diagnostics.sorted());
    m_stack->setCurrentWidget(m_model->entries.isEmpty() ? static_cast<QWidget *>(m_empty)
                                                         : m_list);
}

void NBEDiagnosticsListView::choose(int row)
{
    if (row < 0 || row >= m_model->entries.size())
        return;
    const NBEFileDiagnostic entry = m_model->entries.at(row);
    const NBELSPDiagnostic &issue = entry.diagnostic;
    m_navigation.revealLine(
        entry.url, int(issue.startLine) + 1,
        NBERevealRange{{int(issue.startLine) + 1, int(issue.startCharacter) + 1},
                       {int(issue.endLine) + 1, int(issue.endCharacter) + 1}});
    Q_EMIT dismissRequested();
}

QString NBEDiagnosticsListView::locationText(const NBEFileDiagnostic &entry)
{
    return entry.url.fileName() + u':' + QString::number(entry.diagnostic.startLine + 1);
}

QColor NBEDiagnosticsListView::errorColor()
{
    return QColor(0xE0, 0x3E, 0x3E);
}

QString NBEDiagnosticsListView::symbolName(NBELSPDiagnosticSeverity severity)
{
    return severity == NBELSPDiagnosticSeverity::error
               ? QStringLiteral("xmark.octagon.fill")
               : QStringLiteral("exclamationmark.triangle.fill");
}

QPixmap NBEDiagnosticsListView::symbolPixmap(const QString &symbol, const QColor &color, int size,
                                             qreal devicePixelRatio)
{
    QPixmap pixmap(QSize(size, size) * devicePixelRatio);
    pixmap.setDevicePixelRatio(devicePixelRatio);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    const qreal s = size;
    QPainterPath shape;
    if (symbol == u"xmark.octagon.fill") {
        const QPointF centre(s / 2, s / 2);
        const qreal radius = s * 0.48;
        for (int i = 0; i < 8; ++i) {
            const qreal angle = (22.5 + 45.0 * i) * M_PI / 180.0;
            const QPointF corner =
                centre + QPointF(radius * std::cos(angle), radius * std::sin(angle));
            i == 0 ? shape.moveTo(corner) : shape.lineTo(corner);
        }
        shape.closeSubpath();
        painter.fillPath(shape, color);
        painter.setCompositionMode(QPainter::CompositionMode_Clear);
        painter.setPen(QPen(Qt::black, std::max(1.2, s * 0.12), Qt::SolidLine, Qt::RoundCap));
        const qreal a = s * 0.32, b = s * 0.68;
        painter.drawLine(QPointF(a, a), QPointF(b, b));
        painter.drawLine(QPointF(a, b), QPointF(b, a));
    } else {
        shape.moveTo(s / 2, s * 0.06);
        shape.lineTo(s * 0.97, s * 0.92);
        shape.lineTo(s * 0.03, s * 0.92);
        shape.closeSubpath();
        painter.fillPath(shape, color);
        painter.setCompositionMode(QPainter::CompositionMode_Clear);
        painter.setPen(QPen(Qt::black, std::max(1.2, s * 0.11), Qt::SolidLine, Qt::RoundCap));
        painter.drawLine(QPointF(s / 2, s * 0.36), QPointF(s / 2, s * 0.62));
        painter.drawPoint(QPointF(s / 2, s * 0.77));
    }
    return pixmap;
}

QStringList NBEDiagnosticsListView::messageLines(const QString &message, const QFont &font,
                                                 int width)
{
    QString text = message;
    text.replace(u'\n', QChar::LineSeparator);
    QTextLayout layout(text, font);
    QTextOption option(Qt::AlignLeft);
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    layout.setTextOption(option);
    QStringList lines;
    layout.beginLayout();
    while (lines.size() < 2) {
        QTextLine line = layout.createLine();
        if (!line.isValid())
            break;
        line.setLineWidth(width);
        if (lines.size() == 1) {
            // The second line takes the rest of the text, cut when it is longer.
            const QString rest = text.mid(line.textStart()).simplified();
            lines.append(QFontMetrics(font).elidedText(rest, Qt::ElideRight, width));
            break;
        }
        lines.append(text.mid(line.textStart(), line.textLength()).trimmed());
    }
    layout.endLayout();
    return lines;
}

namespace {

// The body font stands for 13 points; other text styles scale from it, never
// below a size that still reads well.
QFont scaled(const QFont &base, qreal points)
{
    QFont font = base;
    if (base.pointSizeF() > 0)
        font.setPointSizeF(
            std::max(std::min(base.pointSizeF(), 8.0), base.pointSizeF() * points / 13.0));
    else
        font.setPixelSize(std::max(1, int(std::lround(base.pixelSize() * points / 13.0))));
    return font;
}

} // namespace

QFont NBEDiagnosticsListView::calloutFont(const QFont &base)
{
    return scaled(base, 12);
}

QFont NBEDiagnosticsListView::captionFont(const QFont &base)
{
    return scaled(base, 10);
}
