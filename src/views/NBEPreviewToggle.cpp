#include "NBEPreviewToggle.h"

#include "NBEIcons.h"
#include "NBEWorkspaceTabs.h"

#include <QKeySequence>

namespace {

QString shortcutText()
{
    return QKeySequence(Qt::CTRL | Qt::ALT | Qt::Key_P).toString(QKeySequence::NativeText);
}

} // namespace

NBEPreviewToggle::NBEPreviewToggle(NBEWorkspaceTabs &tabs, QWidget *parent)
    : QToolButton(parent)
    , m_tabs(tabs)
{
    setObjectName(QStringLiteral("previewToggle"));
    setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    setAutoRaise(true);
    connect(this, &QToolButton::clicked, &tabs, [this] {
        if (const auto tab = m_tabs.activeTab(); tab && tab->isPreviewable())
            m_tabs.togglePreview(tab->id);
    });
    connect(&tabs, &NBEWorkspaceTabs::tabsChanged, this, &NBEPreviewToggle::refresh);
    // Sized as shown from the start: the toolbar keeps room for it.
    setText(tr("Show Preview"));
    setIcon(NBEIcons::icon(QStringLiteral("eye")));
    refresh();
}

void NBEPreviewToggle::refresh()
{
    const auto tab = m_tabs.activeTab();
    if (!tab || !tab->isPreviewable())
        return;
    const bool previewing = tab->isShowingPreview;
    setText(previewing ? tr("Show Editor") : tr("Show Preview"));
    setIcon(NBEIcons::icon(previewing ? QStringLiteral("pencil") : QStringLiteral("eye")));
    setToolTip(previewing
                   ? tr("Edit source (%1)").arg(shortcutText())
                   : tr("Preview rendered %1 (%2)")
                         .arg(tab->isHTML() ? QStringLiteral("HTML") : QStringLiteral("Markdown"),
                              shortcutText()));
}
