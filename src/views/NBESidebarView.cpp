#include "NBESidebarView.h"

#include "NBEIcons.h"

#include <QButtonGroup>
#include <QFrame>
#include <QHBoxLayout>
#include <QToolButton>
#include <QVBoxLayout>

const QList<NBESidebarMode> &NBESidebarView::allModes()
{
    static const QList<NBESidebarMode> modes = {NBESidebarMode::files, NBESidebarMode::outline,
                                                NBESidebarMode::changes, NBESidebarMode::history};
    return modes;
}

QString NBESidebarView::symbol(NBESidebarMode mode)
{
    switch (mode) {
    case NBESidebarMode::files:
        return QStringLiteral("folder");
    case NBESidebarMode::outline:
        return QStringLiteral("list.bullet.indent");
    case NBESidebarMode::changes:
        return QStringLiteral("arrow.triangle.branch");
    case NBESidebarMode::history:
        return QStringLiteral("clock");
    }
    return {};
}

QString NBESidebarView::toolTip(NBESidebarMode mode)
{
    switch (mode) {
    case NBESidebarMode::files:
        return tr("Files");
    case NBESidebarMode::outline:
        return tr("Outline");
    case NBESidebarMode::changes:
        return tr("Source Control");
    case NBESidebarMode::history:
        return tr("History");
    }
    return {};
}

NBESidebarView::NBESidebarView(PaneFactory makePane, QWidget *parent)
    : QWidget(parent)
    , m_makePane(std::move(makePane))
    , m_picker(new QButtonGroup(this))
    , m_layout(new QVBoxLayout(this))
{
    setObjectName(QStringLiteral("sidebar"));
    m_layout->setContentsMargins(0, 0, 0, 0);
    m_layout->setSpacing(0);

    // One segmented control: the four buttons touch, the checked one is
    // drawn pressed.
    auto *pickerRow = new QWidget(this);
    pickerRow->setAccessibleName(tr("View"));
    auto *row = new QHBoxLayout(pickerRow);
    row->setContentsMargins(6, 6, 6, 6);
    row->setSpacing(0);
    m_picker->setExclusive(true);
    for (const NBESidebarMode mode : allModes()) {
        auto *button = new QToolButton(pickerRow);
        button->setCheckable(true);
        button->setIcon(NBEIcons::icon(symbol(mode)));
        button->setIconSize(QSize(16, 16));
        button->setToolTip(toolTip(mode));
        button->setAccessibleName(toolTip(mode));
        button->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
        button->setFocusPolicy(Qt::TabFocus);
        m_picker->addButton(button, int(mode));
        row->addWidget(button);
    }
    m_picker->button(int(m_mode))->setChecked(true);
    connect(m_picker, &QButtonGroup::idClicked, this,
            [this](int id) { setMode(NBESidebarMode(id)); });
    m_layout->addWidget(pickerRow);

    auto *line = new QFrame(this);
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Plain);
    line->setForegroundRole(QPalette::Mid);
    m_layout->addWidget(line);
    buildPane();
}

QToolButton *NBESidebarView::pickerButton(NBESidebarMode mode) const
{
    return qobject_cast<QToolButton *>(m_picker->button(int(mode)));
}

void NBESidebarView::setMode(NBESidebarMode mode)
{
    m_picker->button(int(mode))->setChecked(true);
    if (mode == m_mode)
        return;
    m_mode = mode;
    buildPane();
    Q_EMIT modeChanged(mode);
}

void NBESidebarView::buildPane()
{
    delete m_pane;
    m_pane = m_makePane ? m_makePane(m_mode, this) : nullptr;
    if (!m_pane)
        m_pane = new QWidget(this);
    m_layout->addWidget(m_pane, 1);
    m_pane->show();
}
