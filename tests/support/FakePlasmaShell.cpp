#include "FakePlasmaShell.h"

#include <QDBusConnection>
#include <QDBusContext>
#include <QDBusError>
#include <QJSEngine>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMutexLocker>
#include <stdexcept>

namespace lumivra::test {

namespace {

// The model of Plasma's scripting API; the world is the JSON of the desktops and the shell's flags.
const char *scriptingApi = R"(
var __output = "";
var __desktops = __world.desktops.map(function (w) {
    return {
        screen: w.screen,
        wallpaperPlugin: w.wallpaperPlugin,
        currentConfigGroup: [],
        __config: w.config,
        writeConfig: function (key, value) {
            if (!__world.ignoreWrites)
                this.__config[this.currentConfigGroup.concat([key]).join("/")] = String(value);
        },
        readConfig: function (key) {
            var value = this.__config[this.currentConfigGroup.concat([key]).join("/")];
            return value === undefined ? "" : value;
        }
    };
});
function desktops() { return __desktops.slice(); }
function screenGeometry(screen) {
    var w = __world.desktops.filter(function (d) { return d.screen == screen; })[0];
    return {x: w.x, y: w.y, width: w.width, height: w.height};
}
function print(text) { __output += text + "\n"; }
)";

class PlasmaShellObject : public QObject, protected QDBusContext {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.kde.PlasmaShell")

public:
    explicit PlasmaShellObject(FakePlasmaShell::State &state) : m_state(state) {}

public slots:
    QString evaluateScript(const QString &script) {
        QMutexLocker lock(&m_state.mutex);
        ++m_state.scriptsRun;
        if (m_state.hung) {
            setDelayedReply(true);
            return {};
        }
        if (m_state.locked) {
            sendErrorReply(QDBusError::Failed, QStringLiteral("Widgets are locked"));
            return {};
        }
        QJSEngine engine;
        engine.globalObject().setProperty(QStringLiteral("__world"), engine.toScriptValue(world()));
        engine.evaluate(QString::fromUtf8(scriptingApi));
        const QJSValue result = engine.evaluate(script, QStringLiteral("script"));
        // Plasma writes a containment's settings as the script goes, so a script that fails half-way
        // leaves what it wrote so far.
        keep(engine);
        if (result.isError()) {
            sendErrorReply(
                QDBusError::Failed,
                QStringLiteral("Error: %1 at line %2")
                    .arg(result.toString(), result.property(QStringLiteral("lineNumber")).toString()));
            return {};
        }
        return engine.globalObject().property(QStringLiteral("__output")).toString();
    }

private:
    QVariantMap world() const {
        QVariantList desktops;
        for (const FakeDesktop &d : std::as_const(m_state.desktops)) {
            QVariantMap config;
            for (auto it = d.config.cbegin(); it != d.config.cend(); ++it)
                config.insert(it.key(), it.value());
            desktops.append(QVariantMap{{QStringLiteral("screen"), d.screen},
                                        {QStringLiteral("x"), d.geometry.x()},
                                        {QStringLiteral("y"), d.geometry.y()},
                                        {QStringLiteral("width"), d.geometry.width()},
                                        {QStringLiteral("height"), d.geometry.height()},
                                        {QStringLiteral("wallpaperPlugin"), d.wallpaperPlugin},
                                        {QStringLiteral("config"), config}});
        }
        return {{QStringLiteral("desktops"), desktops},
                {QStringLiteral("ignoreWrites"), m_state.ignoreWrites}};
    }

    void keep(QJSEngine &engine) {
        const QJSValue desktops = engine.globalObject().property(QStringLiteral("__desktops"));
        for (int i = 0; i < m_state.desktops.size(); ++i) {
            const QJSValue d = desktops.property(quint32(i));
            m_state.desktops[i].wallpaperPlugin = d.property(QStringLiteral("wallpaperPlugin")).toString();
            const QVariantMap config = d.property(QStringLiteral("__config")).toVariant().toMap();
            m_state.desktops[i].config.clear();
            for (auto it = config.cbegin(); it != config.cend(); ++it)
                m_state.desktops[i].config.insert(it.key(), it.value().toString());
        }
    }

    FakePlasmaShell::State &m_state;
};

} // namespace

FakePlasmaShell::FakePlasmaShell(const QString &busAddress, QList<FakeDesktop> desktops)
    : m_connectionName(QStringLiteral("fake-plasmashell")) {
    m_state.desktops = std::move(desktops);
    auto *shell = new PlasmaShellObject(m_state);
    shell->moveToThread(&m_thread);
    QObject::connect(&m_thread, &QThread::finished, shell, &QObject::deleteLater);
    m_thread.start();
    QDBusConnection bus = QDBusConnection::connectToBus(busAddress, m_connectionName);
    if (!bus.registerObject(QStringLiteral("/PlasmaShell"), shell, QDBusConnection::ExportAllSlots) ||
        !bus.registerService(QStringLiteral("org.kde.PlasmaShell")))
        throw std::runtime_error("cannot offer org.kde.PlasmaShell on the test bus");
}

FakePlasmaShell::~FakePlasmaShell() {
    QDBusConnection::disconnectFromBus(m_connectionName);
    m_thread.quit();
    m_thread.wait();
}

void FakePlasmaShell::lockWidgets() {
    QMutexLocker lock(&m_state.mutex);
    m_state.locked = true;
}

void FakePlasmaShell::ignoreWrites() {
    QMutexLocker lock(&m_state.mutex);
    m_state.ignoreWrites = true;
}

void FakePlasmaShell::hang() {
    QMutexLocker lock(&m_state.mutex);
    m_state.hung = true;
}

QList<FakeDesktop> FakePlasmaShell::desktops() const {
    QMutexLocker lock(&m_state.mutex);
    return m_state.desktops;
}

int FakePlasmaShell::scriptsRun() const {
    QMutexLocker lock(&m_state.mutex);
    return m_state.scriptsRun;
}

} // namespace lumivra::test

#include "FakePlasmaShell.moc"
