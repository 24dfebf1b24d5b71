#include "NBEAIConfig.h"

#include "NBEKeychain.h"

bool NBEAIConfig::isEnabled(const NBEDefaults &defaults)
{
    return defaults.boolValue(QStringLiteral("nbe.ai.enabled"), true);
}

NBEAnthropicServiceModel NBEAIConfig::model(const NBEDefaults &defaults)
{
    return NBEAnthropicModels::fromRawValue(
               defaults.stringValue(QStringLiteral("nbe.ai.model"), QString()))
        .value_or(NBEAnthropicServiceModel::sonnet5);
}

QFuture<bool> NBEAIConfig::isConfigured(const NBEDefaults &defaults)
{
    if (!isEnabled(defaults))
        return QtFuture::makeReadyFuture(false);
    return NBEKeychain::has(NBEKeychainKey::anthropicAPIKey);
}
