#include "NBEEmptyState.h"

#include "NBEIcons.h"

#include <QEvent>
#include <QLabel>
#include <QVBoxLayout>

NBEEmptyState::NBEEmptyState(const QString &symbol, int symbolSize, const QString &text,
                             int spacing, QWidget *parent)
    : QWidget(parent)
    , m_symbol(symbol)
    , m_symbolSize(symbolSize)
    , m_image(new QLabel(this))
    , m_text(new QLabel(text, this))
{
    auto *layout = new QVBoxLayout(this);
    layout->setSpacing(spacing);
    layout->addStretch(1);
    m_image->setAlignment(Qt::AlignCenter);
    layout->addWidget(m_image);
    m_text->setAlignment(Qt::AlignCenter);
    m_text->setWordWrap(true);
    m_text->setTextFormat(Qt::PlainText);
    m_text->setForegroundRole(QPalette::PlaceholderText);
    layout->addWidget(m_text);
    layout->addStretch(1);
    paintSymbol();
}

QString NBEEmptyState::text() const
{
    return m_text->text();
}

void NBEEmptyState::setText(const QString &text)
{
    m_text->setText(text);
}

void NBEEmptyState::changeEvent(QEvent *event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::PaletteChange)
        paintSymbol();
}

void NBEEmptyState::paintSymbol()
{
    m_image->setPixmap(NBEIcons::icon(m_symbol, palette().color(QPalette::PlaceholderText))
                           .pixmap(m_symbolSize, m_symbolSize));
}
