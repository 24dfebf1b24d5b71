#pragma once

#include "NBEHelpTopic.h"

#include <QCoreApplication>

#include <optional>

// The user help built into the program: seven sections of topics.
class NBEHelp
{
    Q_DECLARE_TR_FUNCTIONS(NBEHelp)

public:
    static const QList<NBEHelpSection> &sections();
    // Every topic, in section order.
    static const QList<NBEHelpTopic> &allTopics();
    static std::optional<NBEHelpTopic> topic(const QString &id);
};
