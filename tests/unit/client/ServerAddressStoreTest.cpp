#include "client/ServerAddressStore.h"

#include "TempHome.h"

#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <gtest/gtest.h>

using namespace lumivra;

namespace {
QString configFile(const test::TempHome &home) {
    return home.configHome() + QStringLiteral("/Lumivra/LumivraWallpaper.conf");
}
void store(const QString &value) {
    QSettings settings;
    settings.setValue(QLatin1String(ServerAddressStore::key), value);
}
} // namespace

class ServerAddressStoreTest : public ::testing::Test {
protected:
    void SetUp() override { ServerAddressStore::applyApplicationIdentity(); }
    test::TempHome home;
};

TEST_F(ServerAddressStoreTest, MissingKeyGivesTheDefaultAndWritesNothing) {
    EXPECT_EQ(ServerAddressStore::load(), "https://wallpaper.lumivra.site");
    EXPECT_FALSE(QFileInfo::exists(configFile(home)));
}

TEST_F(ServerAddressStoreTest, StoredAddressIsReadFromTheDocumentedFile) {
    store(QStringLiteral("http://127.0.0.1:8480"));
    ASSERT_TRUE(QFileInfo::exists(configFile(home)));
    EXPECT_EQ(ServerAddressStore::load(), "http://127.0.0.1:8480");
}

TEST_F(ServerAddressStoreTest, RetiredAddressIsMigratedOnceAndRewritten) {
    store(QStringLiteral("HTTP://198.51.100.24/"));
    EXPECT_EQ(ServerAddressStore::load(), "https://wallpaper.lumivra.site");
    EXPECT_EQ(QSettings().value(QLatin1String(ServerAddressStore::key)).toString(),
              "https://wallpaper.lumivra.site");
    // A rewrite would drop this hand-written comment; loading the migrated value again must not write.
    QFile file(configFile(home));
    ASSERT_TRUE(file.open(QIODevice::Append));
    file.write("; noted by hand\n");
    file.close();
    EXPECT_EQ(ServerAddressStore::load(), "https://wallpaper.lumivra.site");
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_TRUE(file.readAll().contains("; noted by hand"));
}

TEST_F(ServerAddressStoreTest, NormalisationRewritesOnlyWhenTheTextChanges) {
    store(QStringLiteral(" http://127.0.0.1:8480/ "));
    EXPECT_EQ(ServerAddressStore::load(), "http://127.0.0.1:8480");
    EXPECT_EQ(QSettings().value(QLatin1String(ServerAddressStore::key)).toString(), "http://127.0.0.1:8480");
}
