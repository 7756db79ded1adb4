#include "app/CommandLine.h"

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <utility>

namespace lumivra {

namespace {

struct Options {
    QCommandLineOption refresh{QStringLiteral("refresh"),
                               QStringLiteral("立即刷新壁纸；Lumivra 没有在运行时启动它。")};
    QCommandLineOption quit{QStringLiteral("quit"), QStringLiteral("退出正在运行的 Lumivra。")};
    QCommandLineOption status{QStringLiteral("status"),
                              QStringLiteral("显示状态和当前的壁纸文件；上次刷新成功时退出状态为 0。")};
    QCommandLineOption launchAtLogin{QStringLiteral("launch-at-login"),
                                     QStringLiteral("打开（on）或关闭（off）开机自动启动。"),
                                     QStringLiteral("on|off")};
    QCommandLineOption help{{QStringLiteral("h"), QStringLiteral("help")}, QStringLiteral("显示这段帮助。")};
    QCommandLineOption version{QStringLiteral("version"), QStringLiteral("显示版本。")};
};

void describe(QCommandLineParser &parser, const Options &options) {
    parser.setApplicationDescription(
        QStringLiteral("Lumivra 每小时取回当天的壁纸并设为桌面图片。已有一份在运行时，命令交给它去做。"));
    parser.addOptions({options.refresh, options.quit, options.status, options.launchAtLogin, options.help,
                       options.version});
}

Command invalid(const QString &error) {
    return {Command::Kind::invalid, false, error};
}

} // namespace

Command parseCommandLine(const QStringList &arguments) {
    QCommandLineParser parser;
    const Options options;
    describe(parser, options);
    if (!parser.parse(arguments))
        return invalid(parser.errorText());
    if (parser.isSet(options.help))
        return {Command::Kind::help, false, {}};
    if (parser.isSet(options.version))
        return {Command::Kind::version, false, {}};
    if (!parser.positionalArguments().isEmpty())
        return invalid(QStringLiteral("多余的参数：") + parser.positionalArguments().join(u' '));

    const std::pair<const QCommandLineOption &, Command::Kind> commands[] = {
        {options.refresh, Command::Kind::refresh},
        {options.quit, Command::Kind::quit},
        {options.status, Command::Kind::status},
        {options.launchAtLogin, Command::Kind::launchAtLogin},
    };
    Command command;
    for (const auto &[option, kind] : commands) {
        if (!parser.isSet(option))
            continue;
        if (command.kind != Command::Kind::start)
            return invalid(QStringLiteral("一次只能给一个命令。"));
        command.kind = kind;
    }
    if (command.kind == Command::Kind::launchAtLogin) {
        const QString position = parser.value(options.launchAtLogin);
        if (position != QLatin1String("on") && position != QLatin1String("off"))
            return invalid(QStringLiteral("--launch-at-login 只接受 on 或 off。"));
        command.launchAtLogin = position == QLatin1String("on");
    }
    return command;
}

QString commandLineHelp() {
    QCommandLineParser parser;
    const Options options;
    describe(parser, options);
    return parser.helpText();
}

QString versionText() {
    return QStringLiteral("lumivra " LUMIVRA_VERSION);
}

} // namespace lumivra
