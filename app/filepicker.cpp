#include "app/filepicker.h"

#include <QComboBox>
#include <QDateTime>
#include <QDialogButtonBox>
#include <QDir>
#include <QFile>
#include <QGridLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMessageBox>
#include <QPushButton>
#include <QRegularExpression>
#include <QStyle>
#include <QToolButton>
#include <QTreeWidget>

#include <dirent.h>
#include <fcntl.h>
#include <fnmatch.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "import/name_text.h"

namespace {

QByteArray Joined(const QByteArray& folder, const QByteArray& name)
{
    return folder.endsWith('/') ? folder + name : folder + '/' + name;
}

QString TypeText(const QByteArray& name, bool folder)
{
    if (folder) return QStringLiteral("文件夹");
    const int dot = name.lastIndexOf('.');
    if (dot <= 0 || dot == name.size() - 1) return QStringLiteral("文件");
    return QString::fromLatin1(name.mid(dot + 1)).toUpper() + QStringLiteral(" 文件");
}

}  // namespace

QString DisplayName(const QByteArray& name)
{
    return QString::fromStdString(NameText(std::string_view(name.constData(), size_t(name.size()))));
}

bool NameMatchesPatterns(const QByteArray& name, const std::vector<QByteArray>& patterns)
{
    for (const QByteArray& pattern : patterns)
        if (fnmatch(pattern.constData(), name.constData(), FNM_PERIOD) == 0) return true;
    return false;
}

std::vector<QByteArray> PatternsOfFilter(const QString& filter)
{
    static const QRegularExpression inParentheses(QStringLiteral(R"(\(([^)]*)\))"));
    const QRegularExpressionMatch match = inParentheses.match(filter);
    std::vector<QByteArray> patterns;
    for (const QString& pattern : (match.hasMatch() ? match.captured(1) : filter).split(u' ', Qt::SkipEmptyParts))
        patterns.push_back(pattern.toUtf8());
    if (patterns.empty()) patterns.push_back("*");
    return patterns;
}

CRecordFilePicker::CRecordFilePicker(QWidget* owner, const QString& caption, const QStringList& filters,
                                     const QByteArray& folder)
    : QDialog(owner)
{
    setWindowTitle(caption);
    setObjectName(QStringLiteral("recordFilePicker"));

    m_location = new QLineEdit(this);
    m_location->setObjectName(QStringLiteral("location"));
    auto* up = new QToolButton(this);
    up->setIcon(style()->standardIcon(QStyle::SP_FileDialogToParent));
    up->setToolTip(QStringLiteral("向上一级"));

    m_view = new QTreeWidget(this);
    m_view->setObjectName(QStringLiteral("entries"));
    m_view->setHeaderLabels({QStringLiteral("名称"), QStringLiteral("大小"), QStringLiteral("类型"), QStringLiteral("修改日期")});
    m_view->setRootIsDecorated(false);
    m_view->setUniformRowHeights(true);
    m_view->setSortingEnabled(false);
    m_view->header()->setSectionResizeMode(0, QHeaderView::Stretch);
    m_view->header()->setStretchLastSection(false);

    m_name = new QLineEdit(this);
    m_name->setObjectName(QStringLiteral("fileName"));
    m_filter = new QComboBox(this);
    m_filter->setObjectName(QStringLiteral("fileType"));
    m_filter->addItems(filters.isEmpty() ? QStringList{QStringLiteral("所有文件 (*)")} : filters);

    auto* buttons = new QDialogButtonBox(this);
    m_open = buttons->addButton(QStringLiteral("打开(&O)"), QDialogButtonBox::AcceptRole);
    m_open->setObjectName(QStringLiteral("open"));
    buttons->addButton(QStringLiteral("取消"), QDialogButtonBox::RejectRole);

    auto* layout = new QGridLayout(this);
    layout->addWidget(new QLabel(QStringLiteral("查找范围(&I)："), this), 0, 0);
    layout->addWidget(m_location, 0, 1);
    layout->addWidget(up, 0, 2);
    layout->addWidget(m_view, 1, 0, 1, 3);
    auto* nameLabel = new QLabel(QStringLiteral("文件名(&N)："), this);
    nameLabel->setBuddy(m_name);
    layout->addWidget(nameLabel, 2, 0);
    layout->addWidget(m_name, 2, 1, 1, 2);
    auto* typeLabel = new QLabel(QStringLiteral("文件类型(&T)："), this);
    typeLabel->setBuddy(m_filter);
    layout->addWidget(typeLabel, 3, 0);
    layout->addWidget(m_filter, 3, 1, 1, 2);
    layout->addWidget(buttons, 4, 0, 1, 3);
    resize(640, 420);

    connect(buttons, &QDialogButtonBox::accepted, this, &CRecordFilePicker::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &CRecordFilePicker::reject);
    connect(up, &QToolButton::clicked, this, &CRecordFilePicker::GoUp);
    connect(m_filter, &QComboBox::currentIndexChanged, this, &CRecordFilePicker::Fill);
    // Only a row the user has selected (clicked, reached with the keys) is opened by Enter or a
    // double-click; a new listing selects none.
    connect(m_view, &QTreeWidget::itemActivated, this, [this](QTreeWidgetItem* item) {
        if (item && item->isSelected()) Activate(item);
    });
    // The name field follows what the user selects, never the row a new listing starts on, so
    // that Enter opens nothing the user did not choose.
    connect(m_view, &QTreeWidget::itemSelectionChanged, this, [this] {
        const QList<QTreeWidgetItem*> chosen = m_view->selectedItems();
        if (!chosen.isEmpty() && !EntryOf(chosen.first()).folder) m_name->setText(chosen.first()->text(0));
    });
    connect(m_location, &QLineEdit::returnPressed, this, [this] {
        if (!ShowFolder(QFile::encodeName(m_location->text())))
            QMessageBox(QMessageBox::NoIcon, windowTitle(), QStringLiteral("无法打开文件夹“%1”。").arg(m_location->text()),
                        QMessageBox::Ok, this)
                .exec();
    });

    if (folder.isEmpty() || !ShowFolder(folder)) ShowFolder(QFile::encodeName(QDir::currentPath()));
    m_view->setFocus();
}

bool CRecordFilePicker::ShowFolder(const QByteArray& folder)
{
    const int fd = ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return false;
    DIR* dir = fdopendir(fd);
    if (!dir) {
        ::close(fd);
        return false;
    }
    std::vector<Entry> entries;
    while (const dirent* d = readdir(dir)) {
        const QByteArray name(d->d_name);
        if (name.startsWith('.')) continue;  // ".", ".." and hidden files, as the standard dialog
        struct stat st {};
        // Metadata only: the files themselves are never opened while browsing.
        if (fstatat(fd, d->d_name, &st, 0) != 0 && fstatat(fd, d->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0) continue;
        entries.push_back({name, DisplayName(name), S_ISDIR(st.st_mode), qint64(st.st_size), qint64(st.st_mtime)});
    }
    closedir(dir);

    // Folders first, then by the name as shown.
    std::sort(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) {
        if (a.folder != b.folder) return a.folder;
        return QString::localeAwareCompare(a.shown, b.shown) < 0;
    });
    char* resolved = realpath(folder.constData(), nullptr);
    m_folder = resolved ? QByteArray(resolved) : folder;
    free(resolved);
    m_entries = std::move(entries);
    m_location->setText(DisplayName(m_folder));
    Fill();
    return true;
}

void CRecordFilePicker::Fill()
{
    const std::vector<QByteArray> patterns = PatternsOfFilter(m_filter->currentText());
    const QIcon folderIcon = style()->standardIcon(QStyle::SP_DirIcon);
    const QIcon fileIcon = style()->standardIcon(QStyle::SP_FileIcon);
    const QLocale locale(QLocale::Chinese, QLocale::China);
    m_view->clear();
    for (size_t i = 0; i < m_entries.size(); ++i) {
        const Entry& e = m_entries[i];
        if (!e.folder && !NameMatchesPatterns(e.name, patterns)) continue;
        auto* item = new QTreeWidgetItem(m_view);
        item->setText(0, e.shown);
        item->setIcon(0, e.folder ? folderIcon : fileIcon);
        item->setData(0, Qt::UserRole, int(i));
        if (!e.folder) item->setText(1, locale.formattedDataSize(e.size, 1, QLocale::DataSizeTraditionalFormat));
        item->setTextAlignment(1, Qt::AlignRight | Qt::AlignVCenter);
        item->setText(2, TypeText(e.name, e.folder));
        item->setText(3, QDateTime::fromSecsSinceEpoch(e.modified).toString(QStringLiteral("yyyy/MM/dd HH:mm")));
    }
}

const CRecordFilePicker::Entry& CRecordFilePicker::EntryOf(const QTreeWidgetItem* item) const
{
    return m_entries[size_t(item->data(0, Qt::UserRole).toInt())];
}

void CRecordFilePicker::keyPressEvent(QKeyEvent* event)
{
    // Enter in the folder field has gone there, and Enter on a row has opened it (a folder) or
    // chosen it (a file); neither may also press "打开", which would open whatever file then
    // stands in the name field.
    const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    if (enter && (focusWidget() == m_location || focusWidget() == m_view)) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

void CRecordFilePicker::Activate(QTreeWidgetItem* item)
{
    if (!item) return;
    const Entry& e = EntryOf(item);
    if (e.folder) {
        m_name->clear();
        ShowFolder(Joined(m_folder, e.name));
        return;
    }
    m_selected = Joined(m_folder, e.name);
    QDialog::accept();
}

void CRecordFilePicker::GoUp()
{
    const int slash = m_folder.lastIndexOf('/');
    if (slash < 0) return;
    ShowFolder(slash == 0 ? QByteArray("/") : m_folder.left(slash));
}

void CRecordFilePicker::accept()
{
    // A selected file whose name is still in the name field is taken by its bytes; a selected
    // folder is opened. With the name field empty, no file is chosen.
    const QList<QTreeWidgetItem*> chosen = m_view->selectedItems();
    QTreeWidgetItem* item = chosen.isEmpty() ? nullptr : chosen.first();
    const QString typed = m_name->text();
    if (item && (typed == item->text(0) || (typed.isEmpty() && EntryOf(item).folder))) {
        Activate(item);
        return;
    }
    if (typed.isEmpty()) return;
    const QByteArray bytes = QFile::encodeName(typed);
    const QByteArray path = bytes.startsWith('/') ? bytes : Joined(m_folder, bytes);
    // Asked once: on a drive that stalls, every question costs the wait.
    struct stat st {};
    const bool exists = stat(path.constData(), &st) == 0;
    if (exists && S_ISDIR(st.st_mode)) {
        m_name->clear();
        ShowFolder(path);
        return;
    }
    if (!exists) {
        QMessageBox(QMessageBox::NoIcon, windowTitle(),
                    QStringLiteral("找不到文件“%1”。\n请检查文件名是否正确。").arg(typed), QMessageBox::Ok, this)
            .exec();
        return;
    }
    m_selected = path;
    QDialog::accept();
}
