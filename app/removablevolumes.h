#pragma once
// The drives a user plugs in: the instrument shows up as a removable volume, which the desktop
// mounts under /media/$USER (Debian's udisks) or /run/media/$USER (others), named after its label.
#include <QList>
#include <QString>
#include <QStringList>

struct RemovableVolume {
    QString path;   // where it is mounted
    QString label;  // its file system's label, or the mount folder's name where it has none
};

// /media/<user> and /run/media/<user> for the user running the program.
QStringList RemovableMediaRoots();

// The volumes mounted directly under one of roots, in mount order.
QList<RemovableVolume> RemovableVolumes(const QStringList& roots = RemovableMediaRoots());

// The one volume whose top folder holds a record file (a name containing ".nmea"); empty when
// none or several do. Only the folder's names are read, never a file.
QString VolumeWithRecords(const QList<RemovableVolume>& volumes);
