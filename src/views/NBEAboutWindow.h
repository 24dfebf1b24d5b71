#pragma once

#include <QPointer>
#include <QWidget>

class QLabel;

// The About window: the application's name, its version and the licence of
// the language servers shipped with it.
class NBEAboutWindow : public QWidget
{
    Q_OBJECT

public:
    explicit NBEAboutWindow(QWidget *parent = nullptr);

    // The one About window, brought forward or made.
    static NBEAboutWindow *present();
    static NBEAboutWindow *instance();

    static QString versionText();
    static QString licenceText();

    QLabel *version() const { return m_version; }
    QLabel *licence() const { return m_licence; }

private:
    QLabel *m_version;
    QLabel *m_licence;
};
