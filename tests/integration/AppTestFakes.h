#pragma once

#include "Wait.h"
#include "app/AppDelegate.h"
#include "app/StatusItem.h"
#include "client/ServerAddressStore.h"
#include "client/Sha256.h"

#include <QMenu>
#include <QPointer>
#include <QSettings>
#include <QStringList>
#include <functional>
#include <gtest/gtest.h>
#include <memory>

namespace lumivra::test {

// What the shell showed the user, kept by the test because the delegate owns its status item.
struct ShellRecord {
    QStringList toolTips;
    QIcon image;
    QPointer<QMenu> menu;
    struct Alert {
        QString messageText;
        QString informativeText;
    };
    QList<Alert> alerts;
    // Runs while an alert is open; the alert closes when it returns.
    std::function<void()> whileAlertOpen;

    QString toolTip() const { return toolTips.isEmpty() ? QString() : toolTips.last(); }
};

// Stands in for the tray, which needs a desktop panel.
class RecordingStatusItem : public StatusItem {
public:
    explicit RecordingStatusItem(ShellRecord &record) : m_record(record) {}

    void setImage(const QIcon &image) override { m_record.image = image; }
    void setToolTip(const QString &text) override { m_record.toolTips.append(text); }
    void setMenu(std::unique_ptr<QMenu> menu) override {
        // A tray panel keeps talking to the menu it was shown: a second menu would pull it from under it.
        EXPECT_FALSE(m_menu) << "the menu is handed over once and then updated in place";
        m_menu = std::move(menu);
        m_record.menu = m_menu.get();
    }

private:
    ShellRecord &m_record;
    std::unique_ptr<QMenu> m_menu;
};

// Seams that record into the given record; the desktop picture setter and the rest stay real unless the
// test replaces them.
inline AppDelegateSeams recordingSeams(ShellRecord &record) {
    AppDelegateSeams seams;
    seams.makeStatusItem = [&record] { return std::make_unique<RecordingStatusItem>(record); };
    seams.showAlert = [&record](const QString &messageText, const QString &informativeText) {
        record.alerts.append({messageText, informativeText});
        if (record.whileAlertOpen)
            record.whileAlertOpen();
    };
    return seams;
}

// Runs the event loop until everything posted so far has been handled.
inline void drainPostedEvents() {
    bool reached = false;
    QMetaObject::invokeMethod(
        QCoreApplication::instance(), [&reached] { reached = true; }, Qt::QueuedConnection);
    ASSERT_TRUE(waitUntil([&] { return reached; }));
}

// Writes the server base URL where the program reads it from.
inline void storeServerAddress(const QString &address) {
    ServerAddressStore::applyApplicationIdentity();
    QSettings settings;
    settings.setValue(QLatin1String(ServerAddressStore::key), address);
    settings.sync();
}

inline QByteArray metadataJson(qint64 id, const QString &effectiveDate, const QByteArray &image,
                               const QString &downloadUrl, bool upperCaseDigest = false,
                               std::optional<qint64> length = std::nullopt) {
    QString digest = sha256Hex(image);
    if (upperCaseDigest)
        digest = digest.toUpper();
    return QStringLiteral(R"({"id":%1,"effectiveDate":"%2","fileName":"daily.png","contentType":"image/png",)"
                          R"("length":%3,"sha256":"%4","downloadUrl":"%5"})")
        .arg(id)
        .arg(effectiveDate)
        .arg(length.value_or(image.size()))
        .arg(digest, downloadUrl)
        .toUtf8();
}

} // namespace lumivra::test
