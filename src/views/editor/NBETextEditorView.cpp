#include "NBETextEditorView.h"

#include "NBECodeTextEdit.h"
#include "NBEFindBar.h"
#include "NBETextEditorCoordinator.h"

#include <QVBoxLayout>

NBETextEditorView::NBETextEditorView(std::shared_ptr<NBEEditorSession> session, QWidget *parent)
    : QWidget(parent)
    , m_textView(new NBECodeTextEdit(this))
    , m_findBar(new NBEFindBar(m_textView, this))
    , m_coordinator(new NBETextEditorCoordinator(std::move(session), this))
{
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(m_findBar);
    layout->addWidget(m_textView, 1);
    setFocusProxy(m_textView);
    connect(m_textView, &NBECodeTextEdit::findRequested, m_findBar, &NBEFindBar::open);
    connect(m_textView, &NBECodeTextEdit::escapePressed, m_findBar, [this] {
        if (m_findBar->isVisible())
            m_findBar->close_();
    });
    connect(m_textView, &NBECodeTextEdit::findNextRequested, m_findBar, [this](bool backwards) {
        if (m_findBar->searchText().isEmpty())
            m_findBar->open();
        else
            m_findBar->findNext(backwards);
    });
    m_coordinator->attach(m_textView);
}

NBETextEditorView::~NBETextEditorView()
{
    // While the text view still stands, with what was typed into it.
    m_coordinator->takeHeldInput();
    m_coordinator->keepViewState();
}
