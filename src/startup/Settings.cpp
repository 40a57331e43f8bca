#include "Settings.h"

#include <QSettings>

namespace {
QSettings Store()
{
    return QSettings(QSettings::IniFormat, QSettings::UserScope, QStringLiteral("Kestrovia"),
                     QStringLiteral("Kestrovia"));
}

QString Path(const QString& section, const QString& key)
{
    return section + u'/' + key;
}
} // namespace

namespace Settings {

QString Read(const QString& section, const QString& key, const QString& def)
{
    QSettings store = Store();
    const QVariant value = store.value(Path(section, key));
    if (!value.isValid())
        return def;
    return value.toString();
}

// A file that did not parse is still rewritten with what could be read of
// it; only a file that cannot be written is a failure.
static bool Written(const QSettings& store)
{
    return store.status() != QSettings::AccessError;
}

bool Write(const QString& section, const QString& key, const QString& value)
{
    QSettings store = Store();
    store.setValue(Path(section, key), value);
    store.sync();
    return Written(store);
}

bool Delete(const QString& section, const QString& key)
{
    QSettings store = Store();
    store.remove(Path(section, key));
    store.sync();
    return Written(store);
}

} // namespace Settings
