#include "system/AutostartEntry.h"

#include <QByteArrayList>

namespace lumivra {

namespace {
// The Exec value goes through two layers when read: desktop-file string escapes are undone first, then
// the quoted argument is unquoted, then "%%" becomes "%". So a backslash in the path ends up as four.
QString quotedArgument(const QString &argument) {
    QString quoted(u'"');
    for (const QChar c : argument) {
        if (c == u'"' || c == u'`' || c == u'$' || c == u'\\')
            quoted += u'\\';
        quoted += c;
    }
    return quoted + u'"';
}

QString escapedString(const QString &value) {
    QString escaped;
    for (const QChar c : value) {
        switch (c.unicode()) {
        case u'\\':
            escaped += QStringLiteral("\\\\");
            break;
        case u'\n':
            escaped += QStringLiteral("\\n");
            break;
        case u'\t':
            escaped += QStringLiteral("\\t");
            break;
        case u'\r':
            escaped += QStringLiteral("\\r");
            break;
        default:
            escaped += c;
        }
    }
    return escaped;
}
} // namespace

QByteArray autostartEntry(const QString &executablePath) {
    const QString exec = escapedString(quotedArgument(executablePath).replace(u'%', QStringLiteral("%%")));
    return "[Desktop Entry]\n"
           "Type=Application\n"
           "Name=Lumivra\n"
           "Exec=" +
           exec.toUtf8() +
           "\n"
           "Icon=site.lumivra.wallpaper\n"
           "Terminal=false\n"
           "X-GNOME-Autostart-enabled=true\n"
           "X-KDE-autostart-after=panel\n"
           "X-LXQt-Need-Tray=true\n";
}

bool autostartEntryDisabled(const QByteArray &content) {
    // Read as GLib's key-file parser does: later keys win, "1" and "0" are booleans too.
    bool hidden = false;
    bool gnomeDisabled = false;
    bool inEntryGroup = false;
    for (const QByteArray &rawLine : content.split('\n')) {
        const QByteArray line = rawLine.trimmed();
        if (line.startsWith('[')) {
            inEntryGroup = line == "[Desktop Entry]";
            continue;
        }
        const qsizetype equals = line.indexOf('=');
        if (!inEntryGroup || line.startsWith('#') || equals < 0)
            continue;
        const QByteArray key = line.first(equals).trimmed();
        const QByteArray value = line.sliced(equals + 1).trimmed();
        if (key == "Hidden")
            hidden = value == "true" || value == "1";
        else if (key == "X-GNOME-Autostart-enabled")
            gnomeDisabled = value == "false" || value == "0";
    }
    return hidden || gnomeDisabled;
}

} // namespace lumivra
