#include "NBEKeychain.h"
#include "NBEAIConfig.h"
#include "NBETestSupport.h"

#include <QPromise>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <qt6keychain/keychain.h>

namespace {

constexpr auto apiKey = NBEKeychainKey::anthropicAPIKey;

std::optional<QString> stored()
{
    return NBETest::await(NBEKeychain::get(apiKey));
}

// Writes raw bytes past NBEKeychain, as another program might have.
bool writeRaw(const QByteArray &bytes)
{
    auto *job = new QKeychain::WritePasswordJob(NBEKeychain::service());
    job->setKey(NBEKeychain::account(apiKey));
    job->setBinaryData(bytes);
    bool done = false;
    bool ok = false;
    QObject::connect(job, &QKeychain::Job::finished, [&](QKeychain::Job *finished) {
        ok = finished->error() == QKeychain::NoError;
        done = true;
    });
    job->start();
    NBETest::waitUntil([&] { return done; });
    return ok;
}

// How many keyring items hold the key, counted by the Secret Service's own tool.
int itemCount()
{
    const auto result = NBETest::run(QStringLiteral("secret-tool"),
                                     {QStringLiteral("search"), QStringLiteral("--all"),
                                      QStringLiteral("server"), NBEKeychain::service(),
                                      QStringLiteral("user"), NBEKeychain::account(apiKey)});
    return int((result.out + result.err).count("\nsecret = ")) +
           int((result.out + result.err).startsWith("secret = "));
}

class NBEKeychainTest : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_TRUE(NBETest::await(NBEKeychain::remove(apiKey))); }
    void TearDown() override { NBETest::await(NBEKeychain::remove(apiKey)); }
};

} // namespace

TEST_F(NBEKeychainTest, Names)
{
    EXPECT_EQ(NBEKeychain::service(), QStringLiteral("dev.nabri.NabriEditor.ai"));
    EXPECT_EQ(NBEKeychain::account(apiKey), QStringLiteral("anthropic-api-key"));
}

TEST_F(NBEKeychainTest, RoundTripThroughTheKeyring)
{
    EXPECT_EQ(stored(), std::nullopt);
    EXPECT_FALSE(NBETest::await(NBEKeychain::has(apiKey)));

    ASSERT_TRUE(NBETest::await(NBEKeychain::set(QStringLiteral("sk-ant-first"), apiKey)));
    EXPECT_EQ(stored(), QStringLiteral("sk-ant-first"));
    EXPECT_TRUE(NBETest::await(NBEKeychain::has(apiKey)));

    // Saving again replaces the secret in place.
    ASSERT_TRUE(NBETest::await(NBEKeychain::set(QStringLiteral(" ключ-🔑 "), apiKey)));
    EXPECT_EQ(stored(), QStringLiteral(" ключ-🔑 "));
    EXPECT_EQ(itemCount(), 1);

    ASSERT_TRUE(NBETest::await(NBEKeychain::remove(apiKey)));
    EXPECT_EQ(stored(), std::nullopt);
    EXPECT_EQ(itemCount(), 0);
    EXPECT_TRUE(NBETest::await(NBEKeychain::remove(apiKey)));
}

TEST_F(NBEKeychainTest, SavingEmptyDeletes)
{
    ASSERT_TRUE(NBETest::await(NBEKeychain::set(QStringLiteral("sk-ant"), apiKey)));
    EXPECT_TRUE(NBETest::await(NBEKeychain::set(QString(), apiKey)));
    EXPECT_EQ(stored(), std::nullopt);
    EXPECT_EQ(itemCount(), 0);
    // Nothing left to delete still counts as success.
    EXPECT_TRUE(NBETest::await(NBEKeychain::set(QString(), apiKey)));
}

TEST_F(NBEKeychainTest, UnusableSecretsReadAsNoKey)
{
    const QList<std::pair<const char *, QByteArray>> cases{
        {"empty", QByteArray()},
        {"not UTF-8", QByteArray("\xff\xfe key")},
        {"cut UTF-8 sequence", QByteArray("key\xe2\x82")},
    };
    for (const auto &[name, bytes] : cases) {
        SCOPED_TRACE(name);
        ASSERT_TRUE(writeRaw(bytes));
        EXPECT_EQ(stored(), std::nullopt);
        EXPECT_FALSE(NBETest::await(NBEKeychain::has(apiKey)));
    }
}

TEST_F(NBEKeychainTest, AIConfigReadsSettings)
{
    QTemporaryDir dir;
    NBEDefaults defaults(dir.filePath(QStringLiteral("defaults.json")));

    EXPECT_TRUE(NBEAIConfig::isEnabled(defaults));
    EXPECT_EQ(NBEAIConfig::model(defaults), NBEAnthropicServiceModel::sonnet5);

    const QList<std::pair<QString, NBEAnthropicServiceModel>> models{
        {QStringLiteral("claude-opus-5"), NBEAnthropicServiceModel::opus5},
        {QStringLiteral("claude-haiku-4-5"), NBEAnthropicServiceModel::haiku45},
        {QStringLiteral("claude-sonnet-5"), NBEAnthropicServiceModel::sonnet5},
        {QStringLiteral("gpt"), NBEAnthropicServiceModel::sonnet5},
        {QString(), NBEAnthropicServiceModel::sonnet5},
    };
    for (const auto &[raw, model] : models) {
        defaults.setString(QStringLiteral("nbe.ai.model"), raw);
        EXPECT_EQ(NBEAIConfig::model(defaults), model) << raw.toStdString();
    }
    defaults.setInt(QStringLiteral("nbe.ai.model"), 2);
    EXPECT_EQ(NBEAIConfig::model(defaults), NBEAnthropicServiceModel::sonnet5);

    defaults.setString(QStringLiteral("nbe.ai.enabled"), QStringLiteral("false"));
    EXPECT_TRUE(NBEAIConfig::isEnabled(defaults));
    defaults.setBool(QStringLiteral("nbe.ai.enabled"), false);
    EXPECT_FALSE(NBEAIConfig::isEnabled(defaults));
}

TEST_F(NBEKeychainTest, ConfiguredNeedsEnabledAndAKey)
{
    QTemporaryDir dir;
    NBEDefaults defaults(dir.filePath(QStringLiteral("defaults.json")));
    EXPECT_FALSE(NBETest::await(NBEAIConfig::isConfigured(defaults)));

    ASSERT_TRUE(NBETest::await(NBEKeychain::set(QStringLiteral("sk-ant"), apiKey)));
    EXPECT_TRUE(NBETest::await(NBEAIConfig::isConfigured(defaults)));

    defaults.setBool(QStringLiteral("nbe.ai.enabled"), false);
    EXPECT_FALSE(NBETest::await(NBEAIConfig::isConfigured(defaults)));
}
