#include "client/Sha256.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace lumivra;

// The example messages published with FIPS 180-4; a file that spans several reads hashes like its content.
TEST(Sha256, MatchesThePublishedExamplesInMemoryAndInFiles) {
    EXPECT_EQ(sha256Hex(QByteArray()), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
    EXPECT_EQ(sha256Hex("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq"),
              "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1");
    EXPECT_EQ(sha256Hex(QByteArray(1000000, 'a')),
              "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0");

    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("image.png"));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    const QByteArray content(3 * (1 << 20) + 17, 'a');
    file.write(content);
    file.close();
    EXPECT_EQ(sha256HexOfFile(path), sha256Hex(content));
    EXPECT_EQ(sha256HexOfFile(dir.filePath(QStringLiteral("missing.png"))), std::nullopt);
    EXPECT_EQ(sha256HexOfFile(dir.path()), std::nullopt); // a folder is not a readable file
}
