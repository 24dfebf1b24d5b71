#pragma once

#include "NBEHelpTopic.h"

#include <optional>

// The user help built into the program: seven sections of topics.
class NBEHelp
{
public:
    static const QList<NBEHelpSection> &sections();
    // Every topic, in section order.
    static const QList<NBEHelpTopic> &allTopics();
    static std::optional<NBEHelpTopic> topic(const QString &id);
};
