#include "NBEApplicationActivity.h"

#include <QGuiApplication>

NBEApplicationActivity::NBEApplicationActivity(QObject *parent)
    : QObject(parent)
{}

NBEApplicationActivity *NBEApplicationActivity::followingApplication(QObject *parent)
{
    auto *activity = new NBEApplicationActivity(parent);
    if (auto *app = qobject_cast<QGuiApplication *>(QCoreApplication::instance())) {
        activity->m_active = app->applicationState() == Qt::ApplicationActive;
        QObject::connect(app, &QGuiApplication::applicationStateChanged, activity,
                         [activity](Qt::ApplicationState state) {
                             activity->setActive(state == Qt::ApplicationActive);
                         });
    }
    return activity;
}

void NBEApplicationActivity::setActive(bool active)
{
    if (active == m_active)
        return;
    m_active = active;
    if (active)
        Q_EMIT becameActive();
    else
        Q_EMIT resignedActive();
}
