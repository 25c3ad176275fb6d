#include "app/volumewatch.h"

#include <fcntl.h>
#include <unistd.h>

#include <QFile>
#include <QMetaObject>
#include <QSocketNotifier>
#include <QStorageInfo>

#include "archive/record_archive.h"

CVolumeWatch::CVolumeWatch(QObject* parent) : QObject(parent)
{
    m_known = RemovableMounts();
    m_fd = ::open("/proc/self/mounts", O_RDONLY | O_CLOEXEC);
    if (m_fd < 0) return;
    m_notifier = new QSocketNotifier(m_fd, QSocketNotifier::Exception, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &CVolumeWatch::MountsChanged);
}

CVolumeWatch::~CVolumeWatch()
{
    for (std::thread& reader : m_readers) reader.join();
    if (m_fd >= 0) ::close(m_fd);
}

QSet<QByteArray> CVolumeWatch::RemovableMounts()
{
    static const QSet<QByteArray> kDriveTypes = {"vfat", "exfat", "msdos", "fuseblk", "ntfs", "ntfs3"};
    QSet<QByteArray> roots;
    for (const QStorageInfo& volume : QStorageInfo::mountedVolumes()) {
        const QByteArray root = QFile::encodeName(volume.rootPath());
        const bool mediaFolder = root.startsWith("/media/") || root.startsWith("/run/media/");
        if (volume.isValid() && (mediaFolder || kDriveTypes.contains(volume.fileSystemType()))) roots.insert(root);
    }
    return roots;
}

void CVolumeWatch::MountsChanged()
{
    // The mark is cleared by reading the table again from its start.
    char buffer[4096];
    ::lseek(m_fd, 0, SEEK_SET);
    while (::read(m_fd, buffer, sizeof buffer) > 0) {
    }
    const QSet<QByteArray> now = RemovableMounts();
    for (const QByteArray& root : now)
        if (!m_known.contains(root)) CheckVolume(root);
    m_known = now;
}

void CVolumeWatch::CheckVolume(const QByteArray& root)
{
    m_readers.emplace_back([this, root] {
        const std::vector<std::string> found = RecordFileHashes(root.constData());
        QStringList hashes;
        for (const std::string& hash : found) hashes << QString::fromLatin1(hash.c_str());
        // Delivered on the window's thread; the watch waits for its readers before it goes.
        QMetaObject::invokeMethod(
            this, [this, root, hashes] { emit recordFilesFound(root, hashes); }, Qt::QueuedConnection);
    });
}
