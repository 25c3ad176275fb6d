#pragma once
// Volumes mounted while the window is open: the mount table is watched (the kernel marks
// /proc/self/mounts when it changes), and each new volume that may be an instrument's drive has
// its record files hashed on a thread of its own, so a slow drive never holds up the window.
#include <QByteArray>
#include <QObject>
#include <QSet>
#include <QStringList>

#include <string>
#include <thread>
#include <vector>

class QSocketNotifier;

class CVolumeWatch : public QObject {
    Q_OBJECT
public:
    explicit CVolumeWatch(QObject* parent);
    ~CVolumeWatch() override;

    // Hashes the record files at root (a mount point) and reports them with recordFilesFound.
    // What a mount does; callable directly.
    void CheckVolume(const QByteArray& root);

signals:
    // The SHA-256 of each record file found at root.
    void recordFilesFound(const QByteArray& root, const QStringList& hashes);

private:
    void MountsChanged();
    // Mount points of the file systems an instrument's drive shows up as.
    static QSet<QByteArray> RemovableMounts();

    QSocketNotifier* m_notifier = nullptr;
    int m_fd = -1;
    QSet<QByteArray> m_known;
    std::vector<std::thread> m_readers;
};
