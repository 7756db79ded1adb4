#pragma once

#include <QByteArray>
#include <QString>
#include <QTemporaryDir>
#include <map>
#include <optional>

namespace lumivra::test {

// Points HOME and the XDG folders at a fresh temporary directory for the life of the object, so a test
// never reads or writes the real user's files. Restores the previous environment afterwards.
class TempHome {
public:
    TempHome();
    ~TempHome();

    QString path() const { return m_dir.path(); }
    QString configHome() const { return path() + QStringLiteral("/.config"); }
    QString dataHome() const { return path() + QStringLiteral("/.local/share"); }

private:
    // Points the variable at the folder, made if missing, keeping the value it had for the destructor.
    void set(const char *name, const QString &folder);

    QTemporaryDir m_dir;
    std::map<QByteArray, std::optional<QByteArray>> m_saved;
};

} // namespace lumivra::test
