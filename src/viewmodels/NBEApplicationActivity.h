#pragma once

#include <QObject>

// Whether the application is the active one, and when that changes. The
// default follows the GUI application's state; tests drive their own.
class NBEApplicationActivity : public QObject
{
    Q_OBJECT

public:
    explicit NBEApplicationActivity(QObject *parent = nullptr);

    // Follows QGuiApplication's application state (active or not).
    static NBEApplicationActivity *followingApplication(QObject *parent = nullptr);

    bool isActive() const { return m_active; }
    // Records a new state and announces a change.
    void setActive(bool active);

Q_SIGNALS:
    void becameActive();
    void resignedActive();

private:
    bool m_active = true;
};
