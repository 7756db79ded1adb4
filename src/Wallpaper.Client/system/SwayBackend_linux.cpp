#include "system/DesktopBackends.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QThread>
#include <chrono>

namespace lumivra {

namespace {

constexpr std::chrono::seconds swaymsgTimeout{10};
constexpr std::chrono::seconds defaultSwaybgDeadline{5};
constexpr std::chrono::milliseconds swaybgPollInterval{50};

// swaymsg joins its arguments into one command line that sway splits again, and sway then runs the picture's
// path through wordexp(3), so blanks, quotes and "$" would be split or expanded. A backslash before every
// such character survives sway's parser and is taken away by wordexp.
QString escapedPathForSway(const QString &path) {
    QString escaped;
    for (const QChar c : path) {
        const bool plain = c.unicode() >= 0x80 || c.isLetterOrNumber() || QStringLiteral("/._-").contains(c);
        if (!plain)
            escaped += QLatin1Char('\\');
        escaped += c;
    }
    return escaped;
}

// Runs swaymsg and returns what it printed; throws when it cannot run or reports a failure.
QByteArray runSwaymsg(const QStringList &arguments) {
    QProcess swaymsg;
    swaymsg.start(QStringLiteral("swaymsg"), arguments);
    if (!swaymsg.waitForStarted(static_cast<int>(std::chrono::milliseconds(swaymsgTimeout).count())))
        throw DesktopError(
            QStringLiteral("无法运行 swaymsg（%1），无法设置 sway 的壁纸。").arg(swaymsg.errorString()));
    if (!swaymsg.waitForFinished(static_cast<int>(std::chrono::milliseconds(swaymsgTimeout).count()))) {
        swaymsg.kill();
        swaymsg.waitForFinished();
        throw DesktopError(QStringLiteral("sway 没有及时回应，无法设置壁纸。"));
    }
    QByteArray output = swaymsg.readAllStandardOutput();
    if (swaymsg.exitStatus() != QProcess::NormalExit || swaymsg.exitCode() != 0) {
        QString reason = QString::fromLocal8Bit(swaymsg.readAllStandardError()).trimmed();
        if (reason.isEmpty())
            reason = QString::fromLocal8Bit(output).trimmed();
        if (reason.isEmpty())
            reason = QStringLiteral("退出码 %1").arg(swaymsg.exitCode());
        throw DesktopError(QStringLiteral("sway 拒绝设置壁纸：%1").arg(reason));
    }
    return output;
}

// Whether a process runs that shows the picture on the output, as sway starts swaybg: "-o OUTPUT -i FILE".
// swaybg draws on a layer surface, which sway's tree does not list, so the process table is asked.
bool swaybgShows(const QString &output, const QString &imageFile) {
    const QStringList expected{QStringLiteral("-o"), output, QStringLiteral("-i"), imageFile};
    for (const QString &pid : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile cmdline(QStringLiteral("/proc/%1/cmdline").arg(pid));
        if (!cmdline.open(QIODevice::ReadOnly))
            continue;
        QStringList arguments;
        for (const QByteArray &argument : cmdline.readAll().split('\0'))
            arguments.append(QFile::decodeName(argument));
        for (qsizetype at = 1; at + expected.size() <= arguments.size(); ++at) {
            if (arguments.mid(at, expected.size()) == expected)
                return true;
        }
    }
    return false;
}

class SwayBackend : public DesktopBackend {
public:
    explicit SwayBackend(std::chrono::milliseconds deadline) : m_deadline(deadline) {}

    void setPicture(const QString &imageFile, const ScreenInfo &screen) override {
        // sway accepts settings for outputs it does not have (for when they appear), so it is asked first.
        const QByteArray outputs =
            runSwaymsg({QStringLiteral("--raw"), QStringLiteral("--type"), QStringLiteral("get_outputs")});
        bool known = false;
        for (const auto &output : QJsonDocument::fromJson(outputs).array())
            known = known || output.toObject().value(QLatin1String("name")).toString() == screen.name;
        if (!known)
            throw DesktopError(QStringLiteral("sway 没有名为 %1 的输出，无法设置壁纸。").arg(screen.name));

        runSwaymsg({QStringLiteral("--"), QStringLiteral("output"), screen.name, QStringLiteral("bg"),
                    escapedPathForSway(imageFile), QStringLiteral("fill")});

        // sway takes the setting even when it cannot start swaybg, which is what draws the picture.
        const QDeadlineTimer deadline(m_deadline);
        while (!swaybgShows(screen.name, imageFile)) {
            if (deadline.hasExpired())
                throw DesktopError(
                    QStringLiteral(
                        "sway 没有显示输出 %1 的壁纸：缺少 swaybg（sway 用它显示壁纸），请安装 swaybg。")
                        .arg(screen.name));
            QThread::msleep(static_cast<unsigned long>(swaybgPollInterval.count()));
        }
    }

private:
    std::chrono::milliseconds m_deadline;
};

} // namespace

std::unique_ptr<DesktopBackend> makeSwayBackend(std::chrono::milliseconds swaybgDeadline) {
    return std::make_unique<SwayBackend>(swaybgDeadline);
}

std::unique_ptr<DesktopBackend> makeSwayBackend() {
    return makeSwayBackend(defaultSwaybgDeadline);
}

} // namespace lumivra
