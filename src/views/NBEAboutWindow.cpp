#include "NBEAboutWindow.h"
#include "NBEWindowKeys.h"

#include <QLabel>
#include <QVBoxLayout>

namespace {

QPointer<NBEAboutWindow> &sharedWindow()
{
    static QPointer<NBEAboutWindow> window;
    return window;
}

} // namespace

NBEAboutWindow *NBEAboutWindow::present()
{
    QPointer<NBEAboutWindow> &window = sharedWindow();
    if (!window) {
        window = new NBEAboutWindow;
        window->setAttribute(Qt::WA_DeleteOnClose);
    }
    window->show();
    window->raise();
    window->activateWindow();
    return window;
}

NBEAboutWindow *NBEAboutWindow::instance()
{
    return sharedWindow();
}

QString NBEAboutWindow::versionText()
{
    return tr("Version %1").arg(QStringLiteral(NBE_VERSION));
}

QString NBEAboutWindow::licenceText()
{
    return tr("The bundled language servers keep their own licences: "
              "vscode-langservers-extracted (MIT), typescript-language-server and TypeScript "
              "(Apache-2.0).");
}

NBEAboutWindow::NBEAboutWindow(QWidget *parent)
    : QWidget(parent, Qt::Window)
    , m_version(new QLabel(versionText(), this))
    , m_licence(new QLabel(licenceText(), this))
{
    setObjectName(QStringLiteral("about"));
    setWindowTitle(tr("About Nabri Editor"));
    NBEWindowKeys::closeOnEscape(this);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(28, 24, 28, 24);
    layout->setSpacing(8);
    auto *name = new QLabel(tr("Nabri Editor"), this);
    QFont big = name->font();
    big.setPointSizeF(big.pointSizeF() * 1.6);
    big.setWeight(QFont::Bold);
    name->setFont(big);
    name->setAlignment(Qt::AlignHCenter);
    layout->addWidget(name);
    m_version->setAlignment(Qt::AlignHCenter);
    m_version->setTextInteractionFlags(Qt::TextSelectableByMouse);
    layout->addWidget(m_version);
    layout->addSpacing(8);
    m_licence->setWordWrap(true);
    m_licence->setAlignment(Qt::AlignHCenter);
    m_licence->setForegroundRole(QPalette::PlaceholderText);
    layout->addWidget(m_licence);
    setFixedWidth(380);
}
