#include "NBEAIConfig.h"

#include "NBEKeychain.h"
#include "NBEPreferences.h"

bool NBEAIConfig::isEnabled(const NBEDefaults &defaults)
{
    return defaults.boolValue(NBEPreferences::keyName(NBEPreferences::Key::aiEnabled), true);
}

NBEAnthropicServiceModel NBEAIConfig::model(const NBEDefaults &defaults)
{
    return NBEAnthropicModels::fromRawValue(
               defaults.stringValue(NBEPreferences::keyName(NBEPreferences::Key::aiModel),
                                    QString()))
        .value_or(NBEAnthropicServiceModel::sonnet5);
}

QFuture<bool> NBEAIConfig::isConfigured(const NBEDefaults &defaults)
{
    if (!isEnabled(defaults))
        return QtFuture::makeReadyFuture(false);
    return NBEKeychain::has(NBEKeychainKey::anthropicAPIKey);
}
