#include "system/DesktopBackends.h"

#include <QUrl>
#include <gio/gio.h>
#include <vector>

namespace lumivra {

namespace {

enum class ValueForm { fileUri, path };

struct PictureKey {
    const char *name;
    ValueForm form;
    bool optional; // set only where the installed schema has it
};

struct PictureSetting {
    const char *schemaId;
    std::vector<PictureKey> keys;
};

PictureSetting pictureSetting(GSettingsDesktop desktop) {
    switch (desktop) {
    case GSettingsDesktop::gnome:
        // GNOME shows picture-uri-dark while the dark style is on.
        return {"org.gnome.desktop.background",
                {{"picture-uri", ValueForm::fileUri, false}, {"picture-uri-dark", ValueForm::fileUri, true}}};
    case GSettingsDesktop::cinnamon:
        return {"org.cinnamon.desktop.background",
                {{"picture-uri", ValueForm::fileUri, false}, {"picture-uri-dark", ValueForm::fileUri, true}}};
    case GSettingsDesktop::mate:
        return {"org.mate.background", {{"picture-filename", ValueForm::path, false}}};
    }
    return {};
}

struct GObjectUnref {
    void operator()(gpointer object) const { g_object_unref(object); }
};
struct SchemaUnref {
    void operator()(GSettingsSchema *schema) const { g_settings_schema_unref(schema); }
};
struct SchemaKeyUnref {
    void operator()(GSettingsSchemaKey *key) const { g_settings_schema_key_unref(key); }
};
struct GFree {
    void operator()(gchar *text) const { g_free(text); }
};

class GSettingsBackend : public DesktopBackend {
public:
    explicit GSettingsBackend(PictureSetting setting) : m_setting(std::move(setting)) {}

    void setPicture(const QString &imageFile, const ScreenInfo &) override {
        const QString schemaId = QString::fromLatin1(m_setting.schemaId);
        // GIO aborts the process when asked for a schema or key it does not know, so everything is looked
        // up before the first GSettings call.
        GSettingsSchemaSource *source = g_settings_schema_source_get_default();
        const std::unique_ptr<GSettingsSchema, SchemaUnref> schema(
            source ? g_settings_schema_source_lookup(source, m_setting.schemaId, TRUE) : nullptr);
        if (!schema)
            throw DesktopError(QStringLiteral("找不到桌面的壁纸设置（%1），无法设置壁纸。").arg(schemaId));

        std::vector<PictureKey> keys;
        for (const PictureKey &key : m_setting.keys) {
            if (!g_settings_schema_has_key(schema.get(), key.name)) {
                if (key.optional)
                    continue;
                throw DesktopError(QStringLiteral("桌面的壁纸设置（%1）中没有 %2，无法设置壁纸。")
                                       .arg(schemaId, QString::fromLatin1(key.name)));
            }
            const std::unique_ptr<GSettingsSchemaKey, SchemaKeyUnref> schemaKey(
                g_settings_schema_get_key(schema.get(), key.name));
            if (!g_variant_type_equal(g_settings_schema_key_get_value_type(schemaKey.get()),
                                      G_VARIANT_TYPE_STRING))
                throw DesktopError(QStringLiteral("桌面的壁纸设置（%1）中的 %2 不是文本，无法设置壁纸。")
                                       .arg(schemaId, QString::fromLatin1(key.name)));
            keys.push_back(key);
        }

        const std::unique_ptr<GSettings, GObjectUnref> settings(
            g_settings_new_full(schema.get(), nullptr, nullptr));
        for (const PictureKey &key : keys) {
            const QByteArray value = valueFor(imageFile, key.form);
            const QString keyName = QString::fromLatin1(key.name);
            if (!g_settings_is_writable(settings.get(), key.name))
                throw DesktopError(
                    QStringLiteral("桌面的壁纸设置（%1 %2）已被锁定，无法修改。").arg(schemaId, keyName));
            if (!g_settings_set_string(settings.get(), key.name, value.constData()))
                throw DesktopError(
                    QStringLiteral("桌面没有接受新的壁纸设置（%1 %2）。").arg(schemaId, keyName));
        }
        g_settings_sync();

        for (const PictureKey &key : keys) {
            const std::unique_ptr<gchar, GFree> stored(g_settings_get_string(settings.get(), key.name));
            if (QByteArray(stored.get()) != valueFor(imageFile, key.form))
                throw DesktopError(QStringLiteral("桌面没有接受新的壁纸设置（%1 %2）。")
                                       .arg(schemaId, QString::fromLatin1(key.name)));
        }
    }

private:
    static QByteArray valueFor(const QString &imageFile, ValueForm form) {
        if (form == ValueForm::fileUri)
            return QUrl::fromLocalFile(imageFile).toString(QUrl::FullyEncoded).toUtf8();
        return imageFile.toUtf8();
    }

    PictureSetting m_setting;
};

} // namespace

std::unique_ptr<DesktopBackend> makeGSettingsBackend(GSettingsDesktop desktop) {
    return std::make_unique<GSettingsBackend>(pictureSetting(desktop));
}

} // namespace lumivra
