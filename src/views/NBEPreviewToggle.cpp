#include "NBEPreviewToggle.h"

#include "NBEIcons.h"
#include "NBEWorkspaceViewModel.h"

#include <QKeySequence>

namespace {

QString shortcutText()
{
    return QKeySequence(Qt::CTRL | Qt::ALT | Qt::Key_P).toString(QKeySequence::NativeText);
}

} // namespace

NBEPreviewToggle::NBEPreviewToggle(NBEWorkspaceViewModel *viewModel, QWidget *parent)
    : QToolButton(parent)
    , m_viewModel(viewModel)
{
    setObjectName(QStringLiteral("previewToggle"));
    setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    setAutoRaise(true);
    connect(this, &QToolButton::clicked, viewModel,
            [viewModel] { viewModel->toggleActivePreview(); });
    connect(&viewModel->tabs(), &NBEWorkspaceTabs::tabsChanged, this, &NBEPreviewToggle::refresh);
    refresh();
}

void NBEPreviewToggle::refresh()
{
    const auto tab = m_viewModel->tabs().activeTab();
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
