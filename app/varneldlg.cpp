#include "app/varneldlg.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QDropEvent>
#include <QEventLoop>
#include <QFile>
#include <QFontMetrics>
#include <QGroupBox>
#include <QGuiApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QMimeData>
#include <QPushButton>
#include <QScopedValueRollback>
#include <QScreen>
#include <QScrollArea>
#include <QShortcut>
#include <QTableWidget>
#include <QTimer>
#include <QUrl>
#include <QVBoxLayout>

#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "app/aboutdlg.h"
#include "app/archivesession.h"
#include "app/archivewindow.h"
#include "app/exportmodules.h"
#include "app/filepicker.h"
#include "app/importstatus.h"
#include "app/publishdlg.h"
#include "app/volumewatch.h"
#include "import/dialogtemplate.h"
#include "app/recordlist.h"
#include "app/resultpanel.h"
#include "app/userguide.h"
#include "export/imageexport.h"
#include "export/record_formats.h"
#include "export/safe_file.h"
#include "import/folder_import.h"
#include "import/loader.h"
#include "import/log.h"
#include "import/ongoingdlg.h"
#include "map/explorer.h"
#include "map/mappackages.h"
#include "map/placenote.h"
#include "map/showrecord.h"

namespace {

// A list cell whose tooltip is made when it is asked for, from the record of the cell's row (the
// list's rows are the table's slots): a folder import fills 200 rows and nobody hovers most of them.
class CRecordItem : public QTableWidgetItem {
public:
    using QTableWidgetItem::QTableWidgetItem;
    QVariant data(int role) const override
    {
        if (role != Qt::ToolTipRole) return QTableWidgetItem::data(role);
        const int slot = row();
        if (slot < 0 || slot >= TheRecordTable().count) return {};
        return RecordToolTip(TheRecordTable().records[slot]);
    }
};

const QString kNoticeCaption = QStringLiteral("温馨提示：");

// Files each import thread may load ahead while the waiting window paints a frame (some
// milliseconds, in which a thread loads a full record file or two): enough that the threads
// never wait for the painting.
constexpr int kFilesAheadWhilePainting = 8;

QString ExportFailureText(const QString& file, const QString& reason)
{
    return QStringLiteral("导出失败，文件“%1”未能写入：%2").arg(QDir::toNativeSeparators(file), reason);
}

// A font whose line height is cellHeight pixels, as a Windows font of that positive height.
QFont CellHeightFont(const QString& family, int cellHeight, QFont::Weight weight)
{
    QFont font(family);
    font.setWeight(weight);
    font.setPixelSize(cellHeight);
    const int height = QFontMetrics(font).height();
    if (height > cellHeight) font.setPixelSize(qMax(1, cellHeight * cellHeight / height));
    return font;
}

// The save dialog of a command: its formats' filters, the first preselected.
SaveFileRequest SaveRequestFor(ExportCommand command)
{
    SaveFileRequest request{QStringLiteral("另存为"), {}, {}, {}, 0};
    for (const RecordFormat& format : RecordFormats()) {
        if (format.command != command) continue;
        if (request.filters.isEmpty()) {
            request.initialName = QString::fromUtf8(format.defaultName);
            request.defaultSuffix = QString::fromUtf8(format.suffix);
        }
        request.filters << QString::fromUtf8(format.filter);
    }
    return request;
}

// The row of the filter the user chose; a name whose extension belongs to another format of
// the command takes that one, as the converter would. The GIS writers tell their formats apart
// by the extension: a GIS name with none of theirs gets the chosen format's.
const RecordFormat* ChosenFormat(ExportCommand command, const QString& filter, QString& file)
{
    const RecordFormat* chosen = nullptr;
    for (const RecordFormat& format : RecordFormats())
        if (format.command == command && (chosen == nullptr || filter == QString::fromUtf8(format.filter)))
            chosen = &format;
    const QString suffix = QLatin1Char('.') + QString::fromUtf8(chosen->suffix);
    if (file.endsWith(suffix, Qt::CaseInsensitive)) return chosen;
    const RecordFormat* byName = FormatForPath(RecordFormats(), command, QFile::encodeName(file).toStdString());
    if (byName != nullptr) return byName;
    if (command == ExportCommand::Gis) file += suffix;
    return chosen;
}

// How a control follows the window's size when it differs from the template's.
enum class Follow { Right, RightBottom, Bottom, Height, WidthAndHeight };

struct TemplateControl {
    CVarnelDlg::ControlId id;
    int x, y, width, height;  // dialog units
    Follow follow;
};

// The window's template: 725 × 315 units. The two status lines take the list's last twenty units.
constexpr QSize kTemplateSize(725, 315);
constexpr TemplateControl kTemplate[] = {
    {CVarnelDlg::IDC_OUTLINE, 473, 36, 187, 178, Follow::Right},
    {CVarnelDlg::IDC_IMPORT_FILE, 671, 34, 50, 14, Follow::Right},
    {CVarnelDlg::IDC_EXPORT_IMAGE, 671, 117, 50, 14, Follow::Right},
    {CVarnelDlg::IDC_OUTLINE_GROUP, 472, 20, 188, 195, Follow::Right},
    {CVarnelDlg::IDC_RESULT_GROUP, 473, 221, 187, 90, Follow::Right},
    {CVarnelDlg::IDC_RESULT_TEXT, 477, 237, 183, 71, Follow::Right},
    {CVarnelDlg::IDC_HEADER, 471, 2, 225, 11, Follow::Right},
    {CVarnelDlg::IDC_EXPORT_CAD, 671, 83, 50, 14, Follow::Right},
    {CVarnelDlg::IDC_EXPLORER1, 146, 0, 323, 314, Follow::WidthAndHeight},
    {CVarnelDlg::IDC_EXPORT_EXCEL, 671, 100, 50, 14, Follow::Right},
    {CVarnelDlg::IDC_IMPORT_DEVICE, 671, 18, 50, 14, Follow::Right},
    {CVarnelDlg::IDC_RECORD_LIST, 0, 0, 147, 292, Follow::Height},
    {CVarnelDlg::IDC_IMPORT_STATUS, 2, 293, 143, 10, Follow::Bottom},
    {CVarnelDlg::IDC_ARCHIVE_STATUS, 2, 304, 143, 10, Follow::Bottom},
    {CVarnelDlg::IDC_ARCHIVE, 671, 50, 50, 14, Follow::Right},
    {CVarnelDlg::IDC_QUIT, 671, 297, 50, 14, Follow::RightBottom},
    // Two of the column's empty places, below the other exports.
    {CVarnelDlg::IDC_EXPORT_GIS, 671, 149, 50, 14, Follow::Right},
    {CVarnelDlg::IDC_EXPORT_REPORT, 671, 165, 50, 14, Follow::Right},
    {CVarnelDlg::IDC_PUBLISH, 671, 181, 50, 14, Follow::Right},
};

// The narrowest the map gets: the window's minimum width then fits a 1024-pixel screen.
constexpr int kMinMapWidth = 160;  // dialog units

// Room left on the screen for a window manager's frame, which is unknown until the window shows.
constexpr QSize kFrameAllowance(16, 48);

const TemplateControl& TemplateOf(CVarnelDlg::ControlId id)
{
    for (const TemplateControl& c : kTemplate)
        if (c.id == id) return c;
    Q_UNREACHABLE();
}

QPushButton* AddButton(QWidget* parent, const QString& text, const char* name)
{
    auto* button = new QPushButton(text, parent);
    button->setObjectName(QLatin1String(name));
    return button;
}

}  // namespace

CVarnelDlg::CVarnelDlg(CUserDialogs* dialogs)
    : QDialog(nullptr, Qt::Window),
      m_ownDialogs(dialogs ? nullptr : std::make_unique<CQtUserDialogs>()),
      m_dialogs(dialogs ? dialogs : m_ownDialogs.get()),
      m_scratch(std::make_unique<MeasureRecord>()),
      m_icon(AppIcon())
{
    setWindowTitle(QStringLiteral("Varnel 测量数据助手"));
    setWindowIcon(m_icon);
    setFont(DialogFont());

    // The controls sit on a surface that keeps the layout's minimum size: on a screen too small
    // for it the window fits the screen and the surface scrolls, so no control is out of reach.
    m_scroll = new QScrollArea(this);
    m_scroll->setFrameShape(QFrame::NoFrame);
    m_scroll->setFocusPolicy(Qt::NoFocus);  // not a tab stop of its own between the buttons
    m_scroll->setWidgetResizable(true);
    m_content = new QWidget;
    m_content->setObjectName(QStringLiteral("content"));
    m_scroll->setWidget(m_content);
    auto* frame = new QVBoxLayout(this);
    frame->setContentsMargins(0, 0, 0, 0);
    frame->addWidget(m_scroll);

    // Controls in template order; the layout places them.
    m_outline = new COutlineArea(m_content);
    m_outline->setObjectName(QStringLiteral("outline"));
    QPushButton* importFile = AddButton(m_content, QStringLiteral("导入文件..."), "importFile");
    QPushButton* exportImage = AddButton(m_content, QStringLiteral("导出图片..."), "exportImage");
    m_outlineGroup = new QGroupBox(QStringLiteral("测量图形结果："), m_content);
    m_resultGroup = new QGroupBox(QStringLiteral("测量计算结果："), m_content);
    m_resultText = new QLabel(m_content);
    m_resultText->setObjectName(QStringLiteral("resultText"));
    m_resultText->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    m_resultText->setWordWrap(true);
    m_header = new QLabel(QStringLiteral("Varnel 手持式 GPS 测亩仪"), m_content);
    m_header->setObjectName(QStringLiteral("header"));
    QPushButton* exportCad = AddButton(m_content, QStringLiteral("导出CAD..."), "exportCad");
    // The map view: the browser showing the map page. It takes the focus by a click only, so
    // that Tab, which the browser keeps, never leads into it.
    m_mapArea = new CExplorer1(m_content);
    m_mapArea->setObjectName(QStringLiteral("mapArea"));
    m_mapArea->setFocusPolicy(Qt::ClickFocus);
    QPushButton* exportExcel = AddButton(m_content, QStringLiteral("导出EXCEL..."), "exportExcel");
    QPushButton* importDevice = AddButton(m_content, QStringLiteral("导入设备..."), "importDevice");
    CreateRecordList();
    m_status = new CImportStatus(m_content);
    m_archiveStatus = new CImportStatus(m_content);
    m_archiveStatus->setObjectName(QStringLiteral("archiveStatus"));
    m_archive = std::make_unique<CArchiveSession>();
    QPushButton* archive = AddButton(m_content, QStringLiteral("记录库..."), "archive");
    QPushButton* exportGis = AddButton(m_content, QStringLiteral("导出GIS..."), "exportGis");
    QPushButton* exportReport = AddButton(m_content, QStringLiteral("导出报告..."), "exportReport");
    QPushButton* publish = AddButton(m_content, QStringLiteral("发布到服务器..."), "publish");
    QPushButton* quit = AddButton(m_content, QStringLiteral("退出"), "quit");
    quit->setDefault(true);
    m_controls = {{IDC_OUTLINE, m_outline},          {IDC_IMPORT_FILE, importFile},
                  {IDC_EXPORT_IMAGE, exportImage},   {IDC_OUTLINE_GROUP, m_outlineGroup},
                  {IDC_RESULT_GROUP, m_resultGroup}, {IDC_RESULT_TEXT, m_resultText},
                  {IDC_HEADER, m_header},            {IDC_EXPORT_CAD, exportCad},
                  {IDC_EXPLORER1, m_mapArea},        {IDC_EXPORT_EXCEL, exportExcel},
                  {IDC_IMPORT_DEVICE, importDevice}, {IDC_RECORD_LIST, m_list},
                  {IDC_IMPORT_STATUS, m_status},     {IDC_QUIT, quit},
                  {IDC_EXPORT_GIS, exportGis},       {IDC_EXPORT_REPORT, exportReport},
                  {IDC_ARCHIVE, archive},            {IDC_ARCHIVE_STATUS, m_archiveStatus},
                  {IDC_PUBLISH, publish}};

    // Tab goes from the list down the button column, as they stand on the screen.
    QWidget* const tabOrder[] = {m_list,      importDevice, importFile,   archive,      exportCad,
                                 exportExcel, exportImage,  exportGis, exportReport, publish, quit};
    for (size_t i = 1; i < std::size(tabOrder); ++i)
        QWidget::setTabOrder(tabOrder[i - 1], tabOrder[i]);

    // The group boxes only frame their contents; the contents stay on top of them.
    m_outline->raise();
    m_resultText->raise();

    connect(importDevice, &QPushButton::clicked, this, &CVarnelDlg::OnImportDevice);
    connect(importFile, &QPushButton::clicked, this, &CVarnelDlg::OnImportFile);
    connect(archive, &QPushButton::clicked, this, &CVarnelDlg::OnArchive);
    auto* archiveKey = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_L), this);
    connect(archiveKey, &QShortcut::activated, this, &CVarnelDlg::OnArchive);
    connect(exportCad, &QPushButton::clicked, this, &CVarnelDlg::OnExportCad);
    connect(exportExcel, &QPushButton::clicked, this, &CVarnelDlg::OnExportExcel);
    connect(exportImage, &QPushButton::clicked, this, &CVarnelDlg::OnExportImage);
    connect(exportGis, &QPushButton::clicked, this, &CVarnelDlg::OnExportGis);
    connect(exportReport, &QPushButton::clicked, this, &CVarnelDlg::OnExportReport);
    connect(publish, &QPushButton::clicked, this, &CVarnelDlg::OnPublish);
    connect(quit, &QPushButton::clicked, this, &QDialog::accept);
    // Escape ends the program from any control, the map too: the browser keeps the keys it is
    // given, so the dialog's own Escape handling never sees them there.
    auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    connect(escape, &QShortcut::activated, this, &QDialog::reject);

    // X11 has no system menu: help (also on F1) and About sit in the window's context menu.
    auto* help = new QAction(QStringLiteral("帮助"), this);
    help->setShortcut(Qt::Key_F1);
    connect(help, &QAction::triggered, this,
            [this] { OpenUserGuide(this, *m_dialogs, QCoreApplication::applicationDirPath()); });
    addAction(help);
    auto* about = new QAction(QStringLiteral("关于 Varnel(&A)..."), this);
    connect(about, &QAction::triggered, this, &CVarnelDlg::ShowAbout);
    addAction(about);
    setContextMenuPolicy(Qt::ActionsContextMenu);

    // Files and folders dropped anywhere on the window, the map included, are imported. The
    // browser would take a drop on the map as a page to open, so drops are caught before any
    // control of the window sees them.
    setAcceptDrops(true);
    qApp->installEventFilter(this);

    // Keyboard focus on a control scrolled out of view brings it into view; a click needs not.
    connect(qApp, &QApplication::focusChanged, this, [this](QWidget*, QWidget* now) {
        if (now && m_content->isAncestorOf(now) && QGuiApplication::mouseButtons() == Qt::NoButton)
            m_scroll->ensureWidgetVisible(now);
    });

    SetFonts();
    m_content->setMinimumSize(TemplateSize().width() - ControlRect(IDC_EXPLORER1).width() +
                                  DialogRect(DialogBaseUnitsOf(font()), 0, 0, kMinMapWidth, 0).width(),
                              TemplateSize().height());
    FitToScreen();
    LayOutControls();
    m_mapArea->LoadMapPage();
    // Packages in the data folder are offered in the map's layer switch; one that cannot be
    // read is only logged, as nobody asked for it.
    OfferStartupTilePackages(*m_mapArea);
    connect(m_mapArea, &CExplorer1::openTilePackageRequested, this, &CVarnelDlg::OnOpenTilePackage);
    ShowResult(TheRecordTable().selected);
    WatchVolumes();
    // The first tab stop of the template starts with the focus, not the default button.
    importFile->setFocus();
}

CVarnelDlg::~CVarnelDlg() = default;

QRect CVarnelDlg::ControlRect(ControlId id) const
{
    const TemplateControl& c = TemplateOf(id);
    return DialogRect(DialogBaseUnitsOf(font()), c.x, c.y, c.width, c.height);
}

QSize CVarnelDlg::TemplateSize() const
{
    return DialogRect(DialogBaseUnitsOf(font()), 0, 0, kTemplateSize.width(), kTemplateSize.height()).size();
}

void CVarnelDlg::LayOutControls()
{
    const QSize full = TemplateSize();
    const int dx = m_content->width() - full.width();
    const int dy = m_content->height() - full.height();
    for (const auto& [id, widget] : m_controls) {
        QRect rect = ControlRect(id);
        switch (TemplateOf(id).follow) {
        case Follow::Right: rect.translate(dx, 0); break;
        case Follow::RightBottom: rect.translate(dx, dy); break;
        case Follow::Bottom: rect.translate(0, dy); break;
        case Follow::Height: rect.setHeight(rect.height() + dy); break;
        case Follow::WidthAndHeight: rect.setSize(rect.size() + QSize(dx, dy)); break;
        }
        widget->setGeometry(rect);
    }
}

void CVarnelDlg::FitToScreen()
{
    const QRect available = screen()->availableGeometry();
    const QSize room = available.size() - kFrameAllowance;
    setMinimumSize(m_content->minimumSize().boundedTo(room));
    resize(TemplateSize().boundedTo(room).expandedTo(minimumSize()));
    const QSize outer = size() + kFrameAllowance;
    const QPoint centred = available.center() - QPoint(outer.width() / 2, outer.height() / 2);
    move(qMax(available.left(), centred.x()), qMax(available.top(), centred.y()));
}

void CVarnelDlg::CreateRecordList()
{
    m_list = new QTableWidget(0, 2, m_content);
    m_list->setObjectName(QStringLiteral("recordList"));
    m_list->setGeometry(ControlRect(IDC_RECORD_LIST));
    m_list->verticalHeader()->hide();
    m_list->horizontalHeader()->setStretchLastSection(false);
    m_list->horizontalHeader()->setHighlightSections(false);
    m_list->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_list->setSelectionMode(QAbstractItemView::SingleSelection);
    m_list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_list->setShowGrid(true);
    m_list->setWordWrap(false);
    // Tab leaves the list for the buttons instead of walking its cells.
    m_list->setTabKeyNavigation(false);
    // The time column is a pixel or two narrower than its text in some fonts: better clipped
    // by a pixel than cut to "…".
    m_list->setTextElideMode(Qt::ElideNone);

    // The selection stays as visible when the list does not have the focus.
    QPalette palette = m_list->palette();
    palette.setColor(QPalette::Inactive, QPalette::Highlight, palette.color(QPalette::Active, QPalette::Highlight));
    palette.setColor(QPalette::Inactive, QPalette::HighlightedText,
                     palette.color(QPalette::Active, QPalette::HighlightedText));
    m_list->setPalette(palette);

    auto* time = new QTableWidgetItem(QStringLiteral("测量时间"));
    time->setTextAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    m_list->setHorizontalHeaderItem(0, time);
    auto* value = new QTableWidgetItem(QStringLiteral("测量结果"));
    value->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
    m_list->setHorizontalHeaderItem(1, value);
    const RecordListColumns widths = RecordListColumnWidths(m_list->width() - 2 * m_list->frameWidth());
    m_list->setColumnWidth(0, widths.time);
    m_list->setColumnWidth(1, widths.value);

    // The highlighted row is the shown one, whichever way it became current.
    connect(m_list->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this](const QModelIndex& current) {
                if (!m_selecting) ShowListRow(current.row());
            });
    // A click below the last row would drop the highlight, leaving the shown row unmarked.
    connect(m_list->selectionModel(), &QItemSelectionModel::selectionChanged, this, [this] {
        QItemSelectionModel* selection = m_list->selectionModel();
        if (!selection->hasSelection() && selection->currentIndex().isValid())
            selection->select(selection->currentIndex(), QItemSelectionModel::Select | QItemSelectionModel::Rows);
    });
    connect(m_list, &QAbstractItemView::doubleClicked, this,
            [this](const QModelIndex& index) { OnListDoubleClick(index.row()); });
}

void CVarnelDlg::SetFonts()
{
    // The faces the layout was drawn with, or the installed CJK faces closest to them.
    QFont::insertSubstitutions(QStringLiteral("楷体"),
                               {QStringLiteral("AR PL UKai CN"), QStringLiteral("WenQuanYi Zen Hei")});
    QFont::insertSubstitutions(QStringLiteral("隶书"),
                               {QStringLiteral("AR PL UKai CN"), QStringLiteral("WenQuanYi Zen Hei")});
    const QFont fontA = CellHeightFont(QStringLiteral("楷体"), 20, QFont::Normal);
    m_header->setFont(fontA);
    m_resultText->setFont(fontA);
    const QFont fontB = CellHeightFont(QStringLiteral("隶书"), 22, QFont::Bold);
    m_outlineGroup->setFont(fontB);
    m_resultGroup->setFont(fontB);
}

void CVarnelDlg::ShowAbout()
{
    CAboutDlg about(this);
    about.exec();
}

int CVarnelDlg::ShowResult(int slot)
{
    if (slot < 0 || slot >= MaxRecords) return -1;
    MeasureRecord& record = TheRecordTable().records[slot];
    m_resultText->setText(ResultText(record));
    // The ellipsoidal figures take milliseconds for a long track and few ever hover for them:
    // they are made when the tooltip is asked for (see eventFilter).
    m_resultText->setToolTip(QString());
    m_resultTipSlot = slot;
    record.drawScale = DrawScale(m_outline->size(), record);
    m_outline->ShowSlot(slot);
    return record.pointCount < 1 || !std::isfinite(record.drawScale) ? -1 : 0;
}

void CVarnelDlg::InsertRecordItem(int position, int slot)
{
    m_list->insertRow(position);
    SetRecordItems(position, slot);
}

void CVarnelDlg::SetRecordItems(int row, int slot)
{
    const MeasureRecord& record = TheRecordTable().records[slot];
    m_list->setItem(row, 0, new CRecordItem(RecordTimeText(record)));
    auto* value = new CRecordItem(RecordValueText(record));
    value->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
    m_list->setItem(row, 1, value);
}

void CVarnelDlg::FillRecordList()
{
    const int count = TheRecordTable().count;
    m_list->setRowCount(0);  // every row anew, whatever it showed
    m_list->setRowCount(count);
    for (int slot = 0; slot < count; ++slot) SetRecordItems(slot, slot);
}

void CVarnelDlg::SelectRecord(int slot)
{
    if (RecordTableSelect(TheRecordTable(), slot) != 0) return;
    m_list->setFocus();
    {
        const QScopedValueRollback<bool> selecting(m_selecting, true);
        m_list->setCurrentCell(slot, 0, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    }
    m_list->scrollToItem(m_list->item(slot, 0), QAbstractItemView::EnsureVisible);
    ShowRecordOnMap(slot);
    ShowResult(slot);
}

void CVarnelDlg::ShowRecordOnMap(int slot)
{
    if (slot < 0 || slot >= TheRecordTable().count) return;
    ::ShowRecordOnMap(*m_mapArea, TheRecordTable().records[slot]);
    ShowPlaceOnMap(*m_mapArea, TheRecordTable().records[slot]);
}

void CVarnelDlg::ShowListRow(int row)
{
    if (RecordTableSelect(TheRecordTable(), row) != 0) return;
    ShowRecordOnMap(row);
    ShowResult(row);
}

void CVarnelDlg::OnOpenTilePackage()
{
    const QString file = m_dialogs->OpenFile(this, QString::fromUtf8(OpenTilePackageTitle),
                                             QString::fromUtf8(TilePackageFilter));
    if (!file.isEmpty()) OpenTilePackage(file);
}

void CVarnelDlg::OpenTilePackage(const QString& path)
{
    OpenTilePackageOnMap(*m_mapArea, path, true, [this](const QString& error) { m_dialogs->Inform(this, kNoticeCaption, error); });
}

void CVarnelDlg::OnListDoubleClick(int row)
{
    ShowListRow(row);
}

void CVarnelDlg::OnImportDevice()
{
    const QString folder = m_dialogs->ChooseFolder(this, QStringLiteral("请选择要导入的设备："));
    if (folder.isEmpty()) return;
    ImportReport report;
    ImportDevice(QFile::encodeName(folder), report);
    FinishImport(report);
}

void CVarnelDlg::ImportDevice(const QByteArray& folderPath, ImportReport& report)
{
    if (::chdir(folderPath.constData()) != 0) {
        report.Skip(folderPath, LoadFailure::CannotOpen);
        return;
    }
    LogPrintf("[INFO] Open Dev: %s.", folderPath.constData());

    std::vector<std::string> paths;
    ListRecordFolder(folderPath.constData(), FolderOrder::Listing, paths);
    const std::string prefix = folderPath.endsWith('/') ? folderPath.toStdString() : folderPath.toStdString() + '/';
    for (std::string& name : paths) name.insert(0, prefix);

    // The waiting window counts the files and takes the cancel; the report gathers what was
    // skipped. The list is emptied at the first record that loads, when the table restarts.
    class ImportWatcher : public FolderImportObserver {
    public:
        ImportWatcher(OnGoingDlg* waiting, QTableWidget* list, ImportReport& report, CArchiveSession& archive,
                      const QByteArray& folder)
            : m_waiting(waiting), m_list(list), m_report(report), m_archive(archive), m_folder(folder)
        {
        }
        void Stored(int, int tableIndex) override
        {
            if (tableIndex == 0) m_list->setRowCount(0);
            m_archive.Store(TheRecordTable().records[tableIndex], m_folder);
        }
        void Skipped(int, const std::string& path, LoadFailure why) override
        {
            m_report.Skip(QByteArray::fromStdString(path), why);
        }
        void Progress(int filesDone, int) override { m_waiting->SetFilesRead(filesDone); }
        void Waiting() override { m_waiting->KeepResponsive(); }
        bool Cancelled() override { return m_waiting->CancelRequested(); }

    private:
        OnGoingDlg* m_waiting;
        QTableWidget* m_list;
        ImportReport& m_report;
        CArchiveSession& m_archive;
        const QByteArray& m_folder;
    };
    RecordTable& table = TheRecordTable();
    FolderImportResult run{};
    {
        OnGoingDlg waiting(this);
        waiting.Start(static_cast<int>(paths.size()));
        ImportWatcher watcher(&waiting, m_list, report, *m_archive, folderPath);
        run = ImportRecordFiles(paths, table, &watcher, 0, kFilesAheadWhilePainting, m_loadRecordFile);
        // The files past the list's MaxRecords are not lost: the archive takes them.
        if (table.count == MaxRecords && !run.cancelled && size_t(run.filesDone) < paths.size())
            report.archivedOnly += m_archive->StoreFiles({paths.begin() + run.filesDone, paths.end()}, folderPath,
                                                        &watcher, run.filesDone);
    }
    report.imported += run.loaded;
    if (!run.cancelled) report.NotListed(paths, size_t(run.filesDone));
    activateWindow();  // back from the waiting window
    // The rows are made in one go once the import is over: inserted one at a time as the records
    // were stored, each was an insertion of its own for the view and its headers to take in.
    if (run.loaded > 0) FillRecordList();
    if (table.count == 0) return;
    SelectRecord(0);
}

void CVarnelDlg::OnImportFile()
{
    const QByteArray file = m_dialogs->OpenFile(this, QStringLiteral("打开"),
                                                QStringLiteral("测量记录文件 (*.nmea*);;所有文件 (*)"));
    if (file.isEmpty()) return;
    ImportReport report;
    ImportFile(file, report);
    FinishImport(report);
}

void CVarnelDlg::ImportFile(const QByteArray& path, ImportReport& report)
{
    LogPrintf("[INFO] Open Fil: %s.", path.constData());
    RecordTable& table = TheRecordTable();
    const int loaded = RecordTableFind(table, path.constData());
    if (loaded >= 0) {
        report.alreadyListed << DisplayName(path);
        SelectRecord(loaded);
        return;
    }
    LoadFailure why = LoadFailure::None;
    bool failed = false;
    {
        CSlowReadWait wait(this);  // the file is read on the pool: a stalled drive never blocks the window
        failed = LoadRecordFileAside(path.constData(), *m_scratch, wait, &why, m_loadRecordFile) != 0;
    }
    if (failed) {
        if (why != LoadFailure::None) report.Skip(path, why);  // None: the user gave up waiting
        return;
    }
    m_archive->Store(*m_scratch, path);
    const bool full = table.count == MaxRecords;
    if (full) report.leftTheList = DisplayName(table.records[MaxRecords - 1].path);
    RecordTableInsertTop(table, *m_scratch);
    if (full) m_list->removeRow(MaxRecords - 1);
    InsertRecordItem(0, 0);
    ++report.imported;
    SelectRecord(0);
}

void CVarnelDlg::ImportPaths(const QList<QByteArray>& paths)
{
    ImportReport report;
    ImportPaths(paths, report);
}

void CVarnelDlg::ImportPaths(const QList<QByteArray>& paths, ImportReport& report)
{
    for (const QByteArray& path : paths) {
        struct stat status;
        if (path.isEmpty())
            report.skipped << SkippedFile{QStringLiteral("\"\""), QStringLiteral("路径为空")};
        else if (::stat(path.constData(), &status) != 0)
            report.Skip(path, LoadFailure::CannotOpen);
        else if (S_ISDIR(status.st_mode))
            ImportDevice(path, report);
        else
            ImportFile(path, report);
    }
    FinishImport(report);
}

void CVarnelDlg::ImportPathsAfterMapLoad(const QList<QByteArray>& paths)
{
    if (paths.isEmpty()) return;
    if (!m_mapArea->Document()) {
        ImportPaths(paths);
        return;
    }
    connect(
        m_mapArea, &QWebEngineView::loadFinished, this, [this, paths] { ImportPaths(paths); },
        Qt::SingleShotConnection);
}

void CVarnelDlg::ImportDrop(const QMimeData& data)
{
    QList<QByteArray> paths;
    ImportReport report;
    for (const QUrl& url : data.urls()) {
        if (url.isLocalFile())
            paths << QByteArray::fromPercentEncoding(url.path(QUrl::FullyEncoded).toLatin1());
        else
            report.skipped << SkippedFile{url.toDisplayString(), QStringLiteral("不是本地文件")};
    }
    if (!data.hasUrls())
        report.skipped << SkippedFile{data.text().simplified().left(40), QStringLiteral("不是文件")};
    // The drop ends first, so the program it came from is not kept waiting for the import.
    QTimer::singleShot(0, this, [this, paths, report]() mutable { ImportPaths(paths, report); });
}

bool CVarnelDlg::eventFilter(QObject* watched, QEvent* event)
{
    switch (event->type()) {
    case QEvent::Resize:
        // The surface takes the window's size, or its minimum where the window is smaller.
        if (watched == m_content) LayOutControls();
        return false;
    case QEvent::KeyPress:
        if (watched == m_list) {
            const auto* key = static_cast<QKeyEvent*>(event);
            // Enter shows the current row; it would otherwise reach the default button "退出".
            if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
                ShowListRow(m_list->currentRow());
                return true;
            }
            // Home and End go to the first and the last row, as in a list, not along the row.
            if ((key->key() == Qt::Key_Home || key->key() == Qt::Key_End) && key->modifiers() == Qt::NoModifier) {
                if (m_list->rowCount() > 0) {
                    m_list->setCurrentCell(key->key() == Qt::Key_Home ? 0 : m_list->rowCount() - 1, 0);
                    m_list->scrollToItem(m_list->currentItem());
                }
                return true;
            }
        }
        return false;
    case QEvent::ToolTip:
        if (watched == m_resultText && m_resultTipSlot >= 0) {
            m_resultText->setToolTip(GeodesicToolTip(TheRecordTable().records[m_resultTipSlot]));
            m_resultTipSlot = -1;
        }
        return false;
    case QEvent::ChildPolished:
        // The browser renders into a child that takes the focus by Tab, and keeps Tab once it has
        // it; like the browser itself, it takes the focus by a click only.
        if (watched == m_mapArea) {
            if (auto* child = qobject_cast<QWidget*>(static_cast<QChildEvent*>(event)->child()))
                child->setFocusPolicy(Qt::ClickFocus);
        }
        return false;
    case QEvent::DragEnter:
    case QEvent::DragMove:
    case QEvent::Drop: {
        auto* widget = qobject_cast<QWidget*>(watched);
        if (!widget || widget->window() != this) return false;
        auto* drop = static_cast<QDropEvent*>(event);
        if (!drop->mimeData()->hasUrls() && !drop->mimeData()->hasText()) return false;
        drop->acceptProposedAction();
        if (event->type() != QEvent::Drop) return true;
        // Offline map packages are shown on the map; anything else is imported.
        const QStringList packages = DroppedTilePackages(*drop->mimeData());
        if (packages.isEmpty()) ImportDrop(*drop->mimeData());
        // After the drop has ended, as an import: a refusal's message must not hold up the source.
        if (!packages.isEmpty())
            QTimer::singleShot(0, this, [this, packages] {
                for (const QString& package : packages) OpenTilePackage(package);
            });
        return true;
    }
    default: return false;
    }
}

bool CVarnelDlg::HaveRecordToExport()
{
    if (TheRecordTable().count > 0) return true;
    m_dialogs->Inform(this, kNoticeCaption, QStringLiteral("请先导入测量记录。"));
    return false;
}

void CVarnelDlg::ExportSelected(ExportCommand command)
{
    // With nothing loaded there is nothing to write: an empty file reported as a success would
    // mislead.
    if (!HaveRecordToExport()) return;
    if (QString unavailable; !LoadCommandWriters(command, &unavailable)) {
        m_dialogs->Inform(this, kNoticeCaption, unavailable);
        return;
    }
    const RecordTable& table = TheRecordTable();
    QString filter;
    QString file = m_dialogs->SaveFile(this, SaveRequestFor(command), &filter);
    if (file.isEmpty()) return;
    const RecordFormat* format = ChosenFormat(command, filter, file);
    int error = 0;
    if (format->writer(QFile::encodeName(file).constData(), table.records[table.selected], &error) == 0) {
        m_dialogs->Inform(this, kNoticeCaption, QString::fromUtf8(format->successText));
        return;
    }
    QString reason = error != 0 ? QString::fromLocal8Bit(ExportErrorText(error)) : QStringLiteral("未知错误");
    if (error == NameCharactersError)
        reason = QStringLiteral("这种格式的文件名里不能有这些字符：%1")
                     .arg(QString::fromUtf8(RecordFormatRefusedCharacters(*format, QFile::encodeName(file).toStdString())));
    m_dialogs->Inform(this, kNoticeCaption, ExportFailureText(file, reason));
}

void CVarnelDlg::OnExportCad()
{
    ExportSelected(ExportCommand::Cad);
}

void CVarnelDlg::OnExportExcel()
{
    ExportSelected(ExportCommand::Excel);
}

void CVarnelDlg::OnExportGis()
{
    ExportSelected(ExportCommand::Gis);
}

void CVarnelDlg::OnExportReport()
{
    ExportSelected(ExportCommand::Report);
}

void CVarnelDlg::OnExportImage()
{
    if (!HaveRecordToExport()) return;
    const QString file = m_dialogs->SaveFile(
        this, {QStringLiteral("另存为"), QStringLiteral("测量记录"), QStringLiteral("jpg"),
               {QStringLiteral("(*.jpg)"), QStringLiteral("(*.bmp)"), QStringLiteral("(*.png)"), QStringLiteral("(*.gif)")},
               0});
    if (file.isEmpty()) return;
    // The window repaints where the save dialog was, and takes no input until it is captured.
    QGuiApplication::setOverrideCursor(Qt::WaitCursor);
    QEventLoop pause;
    QTimer::singleShot(2000, Qt::PreciseTimer, &pause, &QEventLoop::quit);
    pause.exec(QEventLoop::ExcludeUserInputEvents);

    QString reason;
    QImage picture;
    const int captured = CaptureWindowPicture(*this, picture, &reason);
    QGuiApplication::restoreOverrideCursor();
    if (captured == 0 && WriteImageFile(picture, file, &reason) == 0)
        m_dialogs->Inform(this, kNoticeCaption, QStringLiteral("已成功导出为图片文件，谢谢！"));
    else
        m_dialogs->Inform(this, kNoticeCaption, ExportFailureText(file, reason));
}

void CVarnelDlg::OnPublish()
{
    if (!HaveRecordToExport()) return;
    CPublishDlg dialog(this, *m_dialogs, TheRecordTable());
    dialog.exec();
}
