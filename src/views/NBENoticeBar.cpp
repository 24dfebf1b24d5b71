#include "NBENoticeBar.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QToolButton>

NBENoticeBar::NBENoticeBar(QWidget *parent)
    : QFrame(parent)
    , m_label(new QLabel(this))
    , m_close(new QToolButton(this))
{
    setFocusPolicy(Qt::NoFocus);
    setAutoFillBackground(true);
    setBackgroundRole(QPalette::AlternateBase);
    m_label->setTextFormat(Qt::PlainText);
    m_label->setWordWrap(true);
    m_label->setFocusPolicy(Qt::NoFocus);
    m_label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_close->setText(QStringLiteral("✕"));
    m_close->setToolTip(tr("Close"));
    m_close->setAutoRaise(true);
    m_close->setFocusPolicy(Qt::NoFocus);
    connect(m_close, &QToolButton::clicked, this, [this] {
        hide();
        Q_EMIT closed();
    });
    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(10, 4, 4, 4);
    layout->addWidget(m_label, 1);
    layout->addWidget(m_close, 0, Qt::AlignTop);
    hide();
}

void NBENoticeBar::setMessage(const std::optional<QString> &message)
{
    m_label->setText(message.value_or(QString()));
    setVisible(message.has_value());
}

QString NBENoticeBar::message() const
{
    return isVisibleTo(parentWidget()) ? m_label->text() : QString();
}
