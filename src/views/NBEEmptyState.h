#pragma once

#include <QWidget>

class QLabel;

// What a pane or the detail area shows when it has nothing to show: a
// symbol over a short message, centred, in the placeholder colour.
class NBEEmptyState : public QWidget
{
    Q_OBJECT

public:
    NBEEmptyState(const QString &symbol, int symbolSize, const QString &text, int spacing,
                  QWidget *parent = nullptr);

    QString text() const;
    void setText(const QString &text);

protected:
    void changeEvent(QEvent *event) override;

private:
    void paintSymbol();

    QString m_symbol;
    int m_symbolSize;
    QLabel *m_image;
    QLabel *m_text;
};
