#include "NBEAIConfig.h"

#include "NBEKeychain.h"
#include "NBEPreferences.h"

bool NBEAIConfig::isEnabled(const NBEDefaults &defaults)
{
    return NBEPreferences::aiEnabled(defaults);
}

NBEAnthropicServiceModel NBEAIConfig::model(const NBEDefaults &defaults)
{
    return NBEPreferences::aiModel(defaults);
}

QFuture<bool> NBEAIConfig::isConfigured(const NBEDefaults &defaults)
{
    if (!isEnabled(defaults))
        return QtFuture::makeReadyFuture(false);
    return NBEKeychain::has(NBEKeychainKey::anthropicAPIKey);
}
