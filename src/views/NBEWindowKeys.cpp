#include "NBEWindowKeys.h"

#include <QAction>
#include <QKeySequence>
#include <QWidget>

void NBEWindowKeys::closeOnEscape(QWidget *window)
{
    auto *close = new QAction(window);
    QList<QKeySequence> keys{QKeySequence(Qt::Key_Escape)};
    keys += QKeySequence::keyBindings(QKeySequence::Close);
    close->setShortcuts(keys);
    close->setShortcutContext(Qt::WindowShortcut);
    QObject::connect(close, &QAction::triggered, window, &QWidget::close);
    window->addAction(close);
}
