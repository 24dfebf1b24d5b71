#include "NBETabBar.h"

#include "NBETabStrip.h"
#include "NBEWorkspaceFiles.h"
#include "NBEWorkspaceNavigation.h"
#include "NBEWorkspaceTabs.h"

#include <QClipboard>
#include <QFileInfo>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QMenu>
#include <QScrollArea>
#include <QScrollBar>
#include <QToolButton>
#include <QVariantAnimation>

NBETabBar::NBETabBar(NBEWorkspaceTabs &tabs, NBEWorkspaceNavigation &navigation,
                     NBEWorkspaceFiles &files, QWidget *parent)
    : QWidget(parent)
    , m_tabs(tabs)
    , m_navigation(navigation)
    , m_scroll(new QScrollArea(this))
    , m_overflow(new QToolButton(this))
    , m_scrollAnimation(new QVariantAnimation(this))
{
    NBETabStripActions actions;
    actions.select = [&navigation](const QUuid &id) { navigation.activateTab(id); };
    actions.close = [&tabs](const QUuid &id) { tabs.closeTab(id); };
    actions.closeOthers = [&tabs](const QUuid &id) { tabs.closeOtherTabs(id); };
    actions.closeAll = [&tabs] { tabs.closeAllTabs(); };
    actions.move = [&tabs](int from, int to) { tabs.moveTab(from, to); };
    actions.copyPath = &NBETabBar::copyPath;
    actions.reveal = [&files](const QUrl &url) { files.revealInFileManager(url); };
    m_strip = new NBETabStrip(actions);

    setFixedHeight(NBETabStrip::stripHeight);
    setAutoFillBackground(true);
    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    m_scroll->setFrameShape(QFrame::NoFrame);
    m_scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_scroll->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_scroll->setWidget(m_strip);
    m_scroll->setWidgetResizable(false);
    layout->addWidget(m_scroll, 1);

    m_overflow->setText(QStringLiteral("⌄"));
    m_overflow->setAutoRaise(true);
    m_overflow->setFixedSize(30, 30);
    m_overflow->setToolTip(tr("Show all tabs"));
    m_overflow->setPopupMode(QToolButton::InstantPopup);
    m_overflow->setStyleSheet(QStringLiteral("QToolButton::menu-indicator { image: none; }"));
    auto *menu = new QMenu(m_overflow);
    connect(menu, &QMenu::aboutToShow, this, &NBETabBar::fillOverflowMenu);
    m_overflow->setMenu(menu);
    layout->addWidget(m_overflow);

    m_scrollAnimation->setDuration(200);
    m_scrollAnimation->setEasingCurve(QEasingCurve::InOutQuad);
    connect(m_scrollAnimation, &QVariantAnimation::valueChanged, this,
            [this](const QVariant &v) { m_scroll->horizontalScrollBar()->setValue(v.toInt()); });

    connect(&tabs, &NBEWorkspaceTabs::tabsChanged, this, &NBETabBar::refresh);
    refresh();
}

bool NBETabBar::isOverflowShown() const
{
    return !m_overflow->isHidden();
}

void NBETabBar::refresh()
{
    const QList<NBEOpenTab> &tabs = m_tabs.tabs();
    const std::optional<QUuid> &active = m_tabs.activeTabID();
    m_strip->setTabs(tabs, active);
    updateOverflow();
    // The first value is only recorded; every later change scrolls, also to
    // a tab already in view. A change to none scrolls nothing.
    if (!m_seenActive) {
        m_seenActive = true;
        m_lastActive = active;
        return;
    }
    if (active != m_lastActive) {
        m_lastActive = active;
        if (active)
            scrollToActive();
    }
}

void NBETabBar::updateOverflow()
{
    m_overflow->setVisible(showsOverflow(width(), m_strip->sizeHint().width()));
}

void NBETabBar::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    updateOverflow();
}

void NBETabBar::scrollToActive()
{
    const QList<NBEOpenTab> &tabs = m_strip->tabs();
    for (int i = 0; i < tabs.size(); ++i) {
        if (tabs.at(i).id != m_lastActive)
            continue;
        const QRect box = m_strip->tabRect(i);
        const int target = std::clamp(box.center().x() - m_scroll->viewport()->width() / 2, 0,
                                      m_scroll->horizontalScrollBar()->maximum());
        m_scrollAnimation->stop();
        m_scrollAnimation->setStartValue(m_scroll->horizontalScrollBar()->value());
        m_scrollAnimation->setEndValue(target);
        m_scrollAnimation->start();
        return;
    }
}

void NBETabBar::fillOverflowMenu()
{
    QMenu *menu = m_overflow->menu();
    menu->clear();
    for (const NBEOpenTab &tab : m_strip->tabs()) {
        QAction *action = menu->addAction(QFileInfo(tab.sourceFile.url.path()).fileName());
        action->setCheckable(true);
        action->setChecked(tab.id == m_strip->activeID());
        connect(action, &QAction::triggered, this,
                [this, id = tab.id] { m_navigation.activateTab(id); });
    }
}

void NBETabBar::copyPath(const QUrl &url)
{
    QClipboard *clipboard = QGuiApplication::clipboard();
    clipboard->clear();
    clipboard->setText(url.toLocalFile());
}
