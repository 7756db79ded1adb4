#include "client/ServerAddressStore.h"

#include "TempHome.h"

#include <QDir>
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

// Lines written by hand into the settings file, as the INI reader takes them.
struct HandWrittenLine {
    const char *line;
    const char *loaded;
    const char *storedAfter; // nullptr: the file must stay byte for byte as written
};

class ServerAddressStoreFileTest : public ServerAddressStoreTest,
                                   public ::testing::WithParamInterface<HandWrittenLine> {};

TEST_P(ServerAddressStoreFileTest, HandWrittenValuesAreReadAsWrittenAndNeverLost) {
    const QString file = configFile(home);
    ASSERT_TRUE(QDir().mkpath(QFileInfo(file).path()));
    const QByteArray written = QByteArrayLiteral("[General]\n") + GetParam().line + '\n';
    QFile out(file);
    ASSERT_TRUE(out.open(QIODevice::WriteOnly));
    out.write(written);
    out.close();

    EXPECT_EQ(ServerAddressStore::load(), QString::fromUtf8(GetParam().loaded));

    if (GetParam().storedAfter) {
        EXPECT_EQ(QSettings().value(QLatin1String(ServerAddressStore::key)).toString(),
                  QString::fromUtf8(GetParam().storedAfter));
    } else {
        ASSERT_TRUE(out.open(QIODevice::ReadOnly));
        EXPECT_EQ(out.readAll(), written);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Lines, ServerAddressStoreFileTest,
    ::testing::Values(
        HandWrittenLine{"serverBaseURL=http://127.0.0.1:8480/a,b", "http://127.0.0.1:8480/a,b", nullptr},
        HandWrittenLine{"serverBaseURL=http://127.0.0.1:8480/a,b,c/", "http://127.0.0.1:8480/a,b,c",
                        "http://127.0.0.1:8480/a,b,c"},
        HandWrittenLine{"serverBaseURL=\"http://127.0.0.1:8480/a,b\"", "http://127.0.0.1:8480/a,b", nullptr},
        HandWrittenLine{"serverBaseURL=@Rect(0 0 10 10)", "https://wallpaper.lumivra.site", nullptr}));
