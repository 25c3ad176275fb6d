#include "app/removablevolumes.h"

#include <QDir>
#include <QStorageInfo>

#include <pwd.h>
#include <unistd.h>

QStringList RemovableMediaRoots()
{
    QString user = qEnvironmentVariable("USER");
    if (const passwd* entry = getpwuid(getuid())) user = QString::fromLocal8Bit(entry->pw_name);
    if (user.isEmpty()) return {};
    return {QStringLiteral("/media/") + user, QStringLiteral("/run/media/") + user};
}

QList<RemovableVolume> RemovableVolumes(const QStringList& roots)
{
    QList<RemovableVolume> volumes;
    for (const QStorageInfo& volume : QStorageInfo::mountedVolumes()) {
        if (!volume.isValid()) continue;
        const QString path = volume.rootPath();
        for (const QString& root : roots) {
            const QString parent = QDir::cleanPath(root) + QLatin1Char('/');
            if (!path.startsWith(parent) || path.indexOf(QLatin1Char('/'), parent.size()) >= 0) continue;
            const QString label = volume.name().isEmpty() ? path.mid(parent.size()) : volume.name();
            volumes.append({path, label});
            break;
        }
    }
    return volumes;
}

QString VolumeWithRecords(const QList<RemovableVolume>& volumes)
{
    QString found;
    for (const RemovableVolume& volume : volumes) {
        const QStringList records = QDir(volume.path).entryList({QStringLiteral("*.nmea*")}, QDir::Files | QDir::System);
        if (records.isEmpty()) continue;
        if (!found.isEmpty()) return {};
        found = volume.path;
    }
    return found;
}
