#pragma once

#include "NBEAnthropicServiceModel.h"
#include "NBEDefaults.h"

#include <QFuture>

// The AI settings: whether AI features are on ("nbe.ai.enabled", on unless
// stored as false) and which model writes commit messages ("nbe.ai.model").
class NBEAIConfig
{
public:
    static bool isEnabled(const NBEDefaults &defaults = NBEDefaults::shared());
    static NBEAnthropicServiceModel model(const NBEDefaults &defaults = NBEDefaults::shared());
    // Enabled and a key is stored; the keyring is asked only when enabled.
    static QFuture<bool> isConfigured(const NBEDefaults &defaults = NBEDefaults::shared());
};
