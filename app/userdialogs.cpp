#include "app/userdialogs.h"

#include "app/filepicker.h"
#include "app/removablevolumes.h"

#include <QAbstractFileIconProvider>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QInputDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QRegularExpression>
#include <QUrl>

namespace {

// "(*.png)" → "png"; empty when the filter does not name one extension.
QString SuffixOfFilter(const QString& filter)
{
    static const QRegularExpression pattern(QStringLiteral(R"(\(\*\.(\w+)\))"));
    return pattern.match(filter).captured(1);
}

// Icons and type names from an entry's name and kind alone: Qt's own provider may read a file's
// first bytes to guess its type, which freezes the dialog on a drive whose reads stall.
class NameOnlyIconProvider final : public QAbstractFileIconProvider {
public:
    QIcon icon(const QFileInfo& info) const override
    {
        return QAbstractFileIconProvider::icon(info.isDir() ? Folder : File);
    }
    QString type(const QFileInfo& info) const override
    {
        if (info.isDir()) return QStringLiteral("文件夹");
        const QString suffix = info.suffix();
        return suffix.isEmpty() ? QStringLiteral("文件") : suffix.toUpper() + QStringLiteral(" 文件");
    }
};

void UseNameOnlyIcons(QFileDialog& dialog)
{
    static NameOnlyIconProvider provider;
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setOption(QFileDialog::DontUseCustomDirectoryIcons);
    dialog.setIconProvider(&provider);
}

}  // namespace

CQtUserDialogs::CQtUserDialogs() : m_mediaRoots(RemovableMediaRoots()) {}

QString CQtUserDialogs::ChooseFolder(QWidget* owner, const QString& caption)
{
    // The instrument is a removable volume: the sidebar lists every one mounted, beside the
    // home folder and the computer, and the dialog starts on the one that holds record files
    // when exactly one does; else where the last one ended, else in the home folder.
    const QList<RemovableVolume> volumes = RemovableVolumes(m_mediaRoots);
    QString start = VolumeWithRecords(volumes);
    if (start.isEmpty()) start = m_lastFolder.isEmpty() ? QDir::homePath() : m_lastFolder;
    QFileDialog dialog(owner, caption, start);
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setOption(QFileDialog::ShowDirsOnly);
    UseNameOnlyIcons(dialog);
    QList<QUrl> places{QUrl::fromLocalFile(QDir::homePath()), QUrl(QStringLiteral("file:"))};
    for (const RemovableVolume& volume : volumes) places << QUrl::fromLocalFile(volume.path);
    dialog.setSidebarUrls(places);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
    const QString folder = dialog.selectedFiles().constFirst();
    m_lastFolder = folder;
    m_lastFolderBytes = QFile::encodeName(folder);
    return folder;
}

QByteArray CQtUserDialogs::OpenFile(QWidget* owner, const QString& caption, const QString& filter)
{
    CRecordFilePicker picker(owner, caption, filter.split(QStringLiteral(";;"), Qt::SkipEmptyParts),
                             m_lastFolderBytes.isEmpty() ? QFile::encodeName(m_lastFolder) : m_lastFolderBytes);
    if (picker.exec() != QDialog::Accepted || picker.SelectedPath().isEmpty()) return {};
    m_lastFolderBytes = picker.CurrentFolder();
    m_lastFolder = QFile::decodeName(m_lastFolderBytes);
    return picker.SelectedPath();
}

QString CQtUserDialogs::SaveFile(QWidget* owner, const SaveFileRequest& request, QString* chosenFilter)
{
    QFileDialog dialog(owner, request.caption);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setNameFilters(request.filters);
    dialog.selectNameFilter(request.filters.value(request.selectedFilter));
    dialog.setDefaultSuffix(request.defaultSuffix);
    if (!m_lastFolder.isEmpty()) dialog.setDirectory(m_lastFolder);
    UseNameOnlyIcons(dialog);
    // A name typed without an extension takes the one of the file type chosen in the dialog.
    QObject::connect(&dialog, &QFileDialog::filterSelected, &dialog, [&dialog](const QString& filter) {
        const QString suffix = SuffixOfFilter(filter);
        if (!suffix.isEmpty()) dialog.setDefaultSuffix(suffix);
    });
    dialog.selectFile(request.initialName);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
    if (chosenFilter) *chosenFilter = dialog.selectedNameFilter();
    const QString file = dialog.selectedFiles().constFirst();
    m_lastFolder = QFileInfo(file).absolutePath();
    m_lastFolderBytes = QFile::encodeName(m_lastFolder);
    return file;
}

void CQtUserDialogs::Inform(QWidget* owner, const QString& caption, const QString& text)
{
    QMessageBox box(QMessageBox::NoIcon, caption, text, QMessageBox::Ok, owner);
    box.exec();
}

QString CQtUserDialogs::AskPassword(QWidget* owner, const QString& caption, const QString& label)
{
    bool ok = false;
    const QString password = QInputDialog::getText(owner, caption, label, QLineEdit::Password, QString(), &ok);
    return ok ? password : QString();
}
