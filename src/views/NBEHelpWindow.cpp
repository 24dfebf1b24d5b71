#include "NBEHelpWindow.h"

#include "NBEBrand.h"
#include "NBEHelp.h"
#include "NBEMarkdownHTMLRenderer.h"
#include "NBEWindowKeys.h"

#include <QHeaderView>
#include <QLineEdit>
#include <QSplitter>
#include <QTextBrowser>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace {

const QString linkScheme = QStringLiteral("nbe-help");

QPointer<NBEHelpWindow> &sharedWindow()
{
    static QPointer<NBEHelpWindow> window;
    return window;
}

} // namespace

NBEHelpWindow *NBEHelpWindow::present(const QString &topicID)
{
    QPointer<NBEHelpWindow> &window = sharedWindow();
    if (!window) {
        window = new NBEHelpWindow;
        window->setAttribute(Qt::WA_DeleteOnClose);
    }
    window->showTopic(topicID);
    window->show();
    window->raise();
    window->activateWindow();
    return window;
}

NBEHelpWindow *NBEHelpWindow::instance()
{
    return sharedWindow();
}

NBEHelpWindow::NBEHelpWindow(QWidget *parent)
    : QWidget(parent, Qt::Window)
    , m_search(new QLineEdit(this))
    , m_topics(new QTreeWidget(this))
    , m_article(new QTextBrowser(this))
{
    setObjectName(QStringLiteral("help"));
    setWindowTitle(tr("Nabri Editor Help"));
    NBEWindowKeys::closeOnEscape(this);
    auto *splitter = new QSplitter(Qt::Horizontal, this);
    auto *side = new QWidget(splitter);
    auto *sideLayout = new QVBoxLayout(side);
    sideLayout->setContentsMargins(6, 6, 0, 6);
    m_search->setPlaceholderText(tr("Search"));
    m_search->setClearButtonEnabled(true);
    sideLayout->addWidget(m_search);
    m_topics->setHeaderHidden(true);
    m_topics->setRootIsDecorated(false);
    m_topics->setIndentation(10);
    m_topics->setFrameShape(QFrame::NoFrame);
    sideLayout->addWidget(m_topics);
    for (const NBEHelpSection &section : NBEHelp::sections()) {
        auto *sectionItem = new QTreeWidgetItem(m_topics, {section.title});
        sectionItem->setFlags(Qt::ItemIsEnabled);
        QFont bold = sectionItem->font(0);
        bold.setWeight(QFont::DemiBold);
        sectionItem->setFont(0, bold);
        sectionItem->setForeground(0, palette().brush(QPalette::PlaceholderText));
        for (const NBEHelpTopic &topic : section.topics) {
            auto *item = new QTreeWidgetItem(sectionItem, {topic.title});
            item->setData(0, Qt::UserRole, topic.id);
            item->setToolTip(0, topic.subtitle);
        }
    }
    m_topics->expandAll();
    splitter->addWidget(side);

    m_article->setOpenLinks(false);
    m_article->setFrameShape(QFrame::NoFrame);
    m_article->document()->setDocumentMargin(18);
    splitter->addWidget(m_article);
    splitter->setStretchFactor(1, 1);
    splitter->setSizes({220, 540});
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(splitter);

    connect(m_topics, &QTreeWidget::currentItemChanged, this, [this](QTreeWidgetItem *item) {
        if (item && item->data(0, Qt::UserRole).isValid())
            showTopic(item->data(0, Qt::UserRole).toString());
    });
    connect(m_search, &QLineEdit::textChanged, this, &NBEHelpWindow::filter);
    connect(m_article, &QTextBrowser::anchorClicked, this, [this](const QUrl &url) {
        if (url.scheme() == linkScheme)
            showTopic(url.path());
    });
    resize(780, 560);
    showTopic(QString::fromLatin1(firstTopic));
}

void NBEHelpWindow::showTopic(const QString &topicID)
{
    const std::optional<NBEHelpTopic> topic = NBEHelp::topic(topicID);
    if (!topic)
        return;
    m_current = topic->id;
    m_article->setHtml(articleHTML(*topic));
    for (int s = 0; s < m_topics->topLevelItemCount(); ++s) {
        QTreeWidgetItem *section = m_topics->topLevelItem(s);
        for (int t = 0; t < section->childCount(); ++t)
            if (section->child(t)->data(0, Qt::UserRole).toString() == topic->id) {
                const QSignalBlocker block(m_topics);
                m_topics->setCurrentItem(section->child(t));
            }
    }
}

void NBEHelpWindow::filter(const QString &query)
{
    const QString needle = query.trimmed().toLower();
    for (int s = 0; s < m_topics->topLevelItemCount(); ++s) {
        QTreeWidgetItem *section = m_topics->topLevelItem(s);
        int shown = 0;
        for (int t = 0; t < section->childCount(); ++t) {
            QTreeWidgetItem *item = section->child(t);
            const auto topic = NBEHelp::topic(item->data(0, Qt::UserRole).toString());
            const bool match = needle.isEmpty() || (topic && topic->searchText().contains(needle));
            item->setHidden(!match);
            shown += match ? 1 : 0;
        }
        section->setHidden(shown == 0);
    }
}

QString NBEHelpWindow::articleHTML(const NBEHelpTopic &topic)
{
    const auto inline_ = [](const QString &text) {
        return NBEMarkdownHTMLRenderer::inlineHTML(text);
    };
    const QString tint = NBEBrand::amberTint().name();
    QString html = QStringLiteral("<h1>%1</h1><p style=\"color:gray\">%2</p>")
                       .arg(NBEMarkdownHTMLRenderer::escape(topic.title),
                            NBEMarkdownHTMLRenderer::escape(topic.subtitle));
    for (const NBEHelpBlock &block : topic.blocks) {
        switch (block.kind) {
        case NBEHelpBlock::Kind::paragraph:
            html += QStringLiteral("<p>%1</p>").arg(inline_(block.text));
            break;
        case NBEHelpBlock::Kind::heading:
            html += QStringLiteral("<h3>%1</h3>").arg(inline_(block.text));
            break;
        case NBEHelpBlock::Kind::bullets:
            html += QStringLiteral("<ul>");
            for (const QString &item : block.items)
                html += QStringLiteral("<li>%1</li>").arg(inline_(item));
            html += QStringLiteral("</ul>");
            break;
        case NBEHelpBlock::Kind::tip:
            html += QStringLiteral("<table width=\"100%\" cellpadding=\"8\" bgcolor=\"%1\" "
                                   "style=\"color:#7A4D0F\"><tr><td>%2</td></tr></table>")
                        .arg(tint, inline_(block.text));
            break;
        case NBEHelpBlock::Kind::code:
            html +=
                QStringLiteral("<pre>%1</pre>").arg(NBEMarkdownHTMLRenderer::escape(block.text));
            break;
        case NBEHelpBlock::Kind::seeAlso: {
            QStringList links;
            for (const QString &id : block.items)
                if (const auto other = NBEHelp::topic(id))
                    links.append(
                        QStringLiteral("<a href=\"%1:%2\">%3</a>")
                            .arg(linkScheme, id, NBEMarkdownHTMLRenderer::escape(other->title)));
            if (!links.isEmpty())
                html += QStringLiteral("<h4>%1</h4><p>%2</p>")
                            .arg(tr("See Also"), links.join(QStringLiteral(" · ")));
            break;
        }
        }
    }
    return html;
}
