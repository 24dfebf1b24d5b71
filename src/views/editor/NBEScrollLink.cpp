#include "NBEScrollLink.h"

#include <algorithm>

NBEScrollLink::NBEScrollLink(QObject *parent)
    : QObject(parent)
{}

double NBEScrollLink::clamped(double fraction)
{
    // Written so that NaN fails the comparison and lands on 0.
    const double lower = fraction >= 0 ? fraction : 0.0;
    return std::min(lower, 1.0);
}

void NBEScrollLink::editorScrolled(double fraction)
{
    if (m_ignoreEditorUntil.isValid() && QDateTime::currentDateTimeUtc() < m_ignoreEditorUntil)
        return;
    m_ignorePreviewUntil = QDateTime::currentDateTimeUtc().addMSecs(echoWindowMs);
    if (scrollPreview)
        scrollPreview(clamped(fraction));
}

void NBEScrollLink::previewScrolled(double fraction)
{
    if (m_ignorePreviewUntil.isValid() && QDateTime::currentDateTimeUtc() < m_ignorePreviewUntil)
        return;
    m_ignoreEditorUntil = QDateTime::currentDateTimeUtc().addMSecs(echoWindowMs);
    if (scrollEditor)
        scrollEditor(clamped(fraction));
}
