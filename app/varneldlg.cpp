#include "app/varneldlg.h"

#include <QAction>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QFontMetrics>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QShortcut>
#include <QTableWidget>
#include <QTimer>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "app/aboutdlg.h"
#include "import/dialogtemplate.h"
#include "app/recordlist.h"
#include "app/resultpanel.h"
#include "export/imageexport.h"
#include "export/report_pdf.h"
#include "import/folder_import.h"
#include "import/loader.h"
#include "import/log.h"
#include "import/ongoingdlg.h"
#include "map/explorer.h"
#include "map/showrecord.h"

namespace {

const QString kNoticeCaption = QStringLiteral("温馨提示：");

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
    for (const RecordFormat& format : RecordFormatsWithReport()) {
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
    for (const RecordFormat& format : RecordFormatsWithReport())
        if (format.command == command && (chosen == nullptr || filter == QString::fromUtf8(format.filter)))
            chosen = &format;
    const QString suffix = QLatin1Char('.') + QString::fromUtf8(chosen->suffix);
    if (file.endsWith(suffix, Qt::CaseInsensitive)) return chosen;
    const RecordFormat* byName = FormatForPath(RecordFormatsWithReport(), command, QFile::encodeName(file).toStdString());
    if (byName != nullptr) return byName;
    if (command == ExportCommand::Gis) file += suffix;
    return chosen;
}

struct TemplateControl {
    CVarnelDlg::ControlId id;
    int x, y, width, height;  // dialog units
};

// The window's template: 725 × 315 units.
constexpr QSize kTemplateSize(725, 315);
constexpr TemplateControl kTemplate[] = {
    {CVarnelDlg::IDC_OUTLINE, 473, 36, 187, 178},      {CVarnelDlg::IDC_IMPORT_FILE, 671, 34, 50, 14},
    {CVarnelDlg::IDC_EXPORT_IMAGE, 671, 117, 50, 14},  {CVarnelDlg::IDC_OUTLINE_GROUP, 472, 20, 188, 195},
    {CVarnelDlg::IDC_RESULT_GROUP, 473, 221, 187, 90}, {CVarnelDlg::IDC_RESULT_TEXT, 477, 237, 183, 71},
    {CVarnelDlg::IDC_HEADER, 471, 2, 225, 11},         {CVarnelDlg::IDC_EXPORT_CAD, 671, 83, 50, 14},
    {CVarnelDlg::IDC_EXPLORER1, 146, 0, 323, 314},     {CVarnelDlg::IDC_EXPORT_EXCEL, 671, 100, 50, 14},
    {CVarnelDlg::IDC_IMPORT_DEVICE, 671, 18, 50, 14},  {CVarnelDlg::IDC_RECORD_LIST, 0, 0, 147, 314},
    {CVarnelDlg::IDC_QUIT, 671, 297, 50, 14},
    // Two of the column's empty places, below the other exports.
    {CVarnelDlg::IDC_EXPORT_GIS, 671, 149, 50, 14},    {CVarnelDlg::IDC_EXPORT_REPORT, 671, 165, 50, 14},
};

QPushButton* AddButton(QWidget* parent, const QString& text, const QRect& rect, const char* name)
{
    auto* button = new QPushButton(text, parent);
    button->setObjectName(QLatin1String(name));
    button->setGeometry(rect);
    return button;
}

}  // namespace

CVarnelDlg::CVarnelDlg(CUserDialogs* dialogs)
    : QDialog(nullptr, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint),
      m_ownDialogs(dialogs ? nullptr : std::make_unique<CQtUserDialogs>()),
      m_dialogs(dialogs ? dialogs : m_ownDialogs.get()),
      m_scratch(std::make_unique<MeasureRecord>()),
      m_icon(AppIcon())
{
    setWindowTitle(QStringLiteral("Varnel 测量数据助手"));
    setWindowIcon(m_icon);
    setFont(DialogFont());
    setFixedSize(DialogRect(DialogBaseUnitsOf(font()), 0, 0, kTemplateSize.width(), kTemplateSize.height()).size());

    // Controls in template order, which is also the tab order.
    m_outline = new COutlineArea(this);
    m_outline->setObjectName(QStringLiteral("outline"));
    m_outline->setGeometry(ControlRect(IDC_OUTLINE));
    QPushButton* importFile = AddButton(this, QStringLiteral("导入文件..."), ControlRect(IDC_IMPORT_FILE), "importFile");
    QPushButton* exportImage =
        AddButton(this, QStringLiteral("导出图片..."), ControlRect(IDC_EXPORT_IMAGE), "exportImage");
    m_outlineGroup = new QGroupBox(QStringLiteral("测量图形结果："), this);
    m_outlineGroup->setGeometry(ControlRect(IDC_OUTLINE_GROUP));
    m_resultGroup = new QGroupBox(QStringLiteral("测量计算结果："), this);
    m_resultGroup->setGeometry(ControlRect(IDC_RESULT_GROUP));
    m_resultText = new QLabel(this);
    m_resultText->setObjectName(QStringLiteral("resultText"));
    m_resultText->setGeometry(ControlRect(IDC_RESULT_TEXT));
    m_resultText->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    m_resultText->setWordWrap(true);
    m_header = new QLabel(QStringLiteral("Varnel 手持式 GPS 测亩仪"), this);
    m_header->setObjectName(QStringLiteral("header"));
    m_header->setGeometry(ControlRect(IDC_HEADER));
    QPushButton* exportCad = AddButton(this, QStringLiteral("导出CAD..."), ControlRect(IDC_EXPORT_CAD), "exportCad");
    // The map view: the browser showing the map page.
    m_mapArea = new CExplorer1(this);
    m_mapArea->setObjectName(QStringLiteral("mapArea"));
    m_mapArea->setGeometry(ControlRect(IDC_EXPLORER1));
    QPushButton* exportExcel =
        AddButton(this, QStringLiteral("导出EXCEL..."), ControlRect(IDC_EXPORT_EXCEL), "exportExcel");
    QPushButton* importDevice =
        AddButton(this, QStringLiteral("导入设备..."), ControlRect(IDC_IMPORT_DEVICE), "importDevice");
    CreateRecordList();
    QPushButton* exportGis = AddButton(this, QStringLiteral("导出GIS..."), ControlRect(IDC_EXPORT_GIS), "exportGis");
    QPushButton* exportReport =
        AddButton(this, QStringLiteral("导出报告..."), ControlRect(IDC_EXPORT_REPORT), "exportReport");
    QPushButton* quit = AddButton(this, QStringLiteral("退出"), ControlRect(IDC_QUIT), "quit");
    quit->setDefault(true);

    // The group boxes only frame their contents; the contents stay on top of them.
    m_outline->raise();
    m_resultText->raise();

    connect(importDevice, &QPushButton::clicked, this, &CVarnelDlg::OnImportDevice);
    connect(importFile, &QPushButton::clicked, this, &CVarnelDlg::OnImportFile);
    connect(exportCad, &QPushButton::clicked, this, &CVarnelDlg::OnExportCad);
    connect(exportExcel, &QPushButton::clicked, this, &CVarnelDlg::OnExportExcel);
    connect(exportImage, &QPushButton::clicked, this, &CVarnelDlg::OnExportImage);
    connect(exportGis, &QPushButton::clicked, this, &CVarnelDlg::OnExportGis);
    connect(exportReport, &QPushButton::clicked, this, &CVarnelDlg::OnExportReport);
    connect(quit, &QPushButton::clicked, this, &QDialog::accept);
    // Escape ends the program from any control, the map too: the browser keeps the keys it is
    // given, so the dialog's own Escape handling never sees them there.
    auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    connect(escape, &QShortcut::activated, this, &QDialog::reject);

    // X11 has no system menu: the About entry sits in the window's context menu and on F1.
    auto* about = new QAction(QStringLiteral("关于 Varnel(&A)..."), this);
    about->setShortcut(Qt::Key_F1);
    connect(about, &QAction::triggered, this, &CVarnelDlg::ShowAbout);
    addAction(about);
    setContextMenuPolicy(Qt::ActionsContextMenu);

    SetFonts();
    m_mapArea->LoadMapPage();
    ShowResult(TheRecordTable().selected);
    // The first tab stop starts with the focus, not the default button.
    importFile->setFocus();
}

CVarnelDlg::~CVarnelDlg() = default;

QRect CVarnelDlg::ControlRect(ControlId id) const
{
    for (const TemplateControl& c : kTemplate)
        if (c.id == id) return DialogRect(DialogBaseUnitsOf(font()), c.x, c.y, c.width, c.height);
    return {};
}

void CVarnelDlg::CreateRecordList()
{
    m_list = new QTableWidget(0, 2, this);
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
    m_resultText->setToolTip(GeodesicToolTip(record));
    record.drawScale = DrawScale(m_outline->size(), record);
    m_outline->ShowSlot(slot);
    return record.pointCount < 1 || !std::isfinite(record.drawScale) ? -1 : 0;
}

void CVarnelDlg::InsertRecordItem(int position, int slot)
{
    const MeasureRecord& record = TheRecordTable().records[slot];
    m_list->insertRow(position);
    m_list->setItem(position, 0, new QTableWidgetItem(RecordTimeText(record)));
    auto* value = new QTableWidgetItem(RecordValueText(record));
    value->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
    m_list->setItem(position, 1, value);
}

void CVarnelDlg::SelectRecord(int slot)
{
    if (RecordTableSelect(TheRecordTable(), slot) != 0) return;
    m_list->setFocus();
    m_list->setCurrentCell(slot, 0, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    m_list->scrollToItem(m_list->item(slot, 0), QAbstractItemView::EnsureVisible);
    ShowRecordOnMap(slot);
    ShowResult(slot);
}

void CVarnelDlg::ShowRecordOnMap(int slot)
{
    if (slot < 0 || slot >= TheRecordTable().count) return;
    ::ShowRecordOnMap(*m_mapArea, TheRecordTable().records[slot]);
}

void CVarnelDlg::OnListDoubleClick(int row)
{
    if (RecordTableSelect(TheRecordTable(), row) != 0) return;
    ShowRecordOnMap(row);
    ShowResult(row);
}

void CVarnelDlg::OnImportDevice()
{
    const QString folder = m_dialogs->ChooseFolder(this, QStringLiteral("请选择要导入的设备："));
    if (folder.isEmpty() || !QDir::setCurrent(folder)) return;
    const QByteArray folderPath = QFile::encodeName(folder);
    LogPrintf("[INFO] Open Dev: %s.", folderPath.constData());

    std::vector<std::string> paths;
    ListRecordFolder(folderPath.constData(), FolderOrder::Listing, paths);
    const std::string prefix = folderPath.endsWith('/') ? folderPath.toStdString() : folderPath.toStdString() + '/';
    for (std::string& name : paths) name.insert(0, prefix);

    // The list is emptied at the first record that loads and filled as the records are stored,
    // with its redrawing off until the end.
    class ListFiller : public FolderImportObserver {
    public:
        ListFiller(CVarnelDlg* dlg, OnGoingDlg* waiting) : m_dlg(dlg), m_waiting(waiting) {}
        void Stored(int, int tableIndex) override
        {
            if (tableIndex == 0) {
                m_dlg->m_list->setUpdatesEnabled(false);
                m_dlg->m_list->setRowCount(0);
            }
            m_dlg->InsertRecordItem(tableIndex, tableIndex);
        }
        void Progress(int filesDone, int) override { m_waiting->SetFilesRead(filesDone); }

    private:
        CVarnelDlg* m_dlg;
        OnGoingDlg* m_waiting;
    };
    RecordTable& table = TheRecordTable();
    {
        OnGoingDlg waiting(this);
        waiting.Start(static_cast<int>(paths.size()));
        ListFiller filler(this, &waiting);
        ImportRecordFiles(paths, table, &filler);
    }
    activateWindow();  // back from the waiting window
    m_list->setUpdatesEnabled(true);
    if (table.count == 0) return;
    SelectRecord(0);
}

void CVarnelDlg::OnImportFile()
{
    const QString file = m_dialogs->OpenFile(this, QStringLiteral("打开"), QStringLiteral("All Files (*.*)"));
    if (file.isEmpty()) return;
    const QByteArray path = QFile::encodeName(file);
    LogPrintf("[INFO] Open Fil: %s.", path.constData());

    RecordTable& table = TheRecordTable();
    const int loaded = RecordTableFind(table, path.constData());
    if (loaded >= 0) {
        SelectRecord(loaded);
        return;
    }
    if (LoadRecordFile(path.constData(), *m_scratch) != 0) return;
    const bool full = table.count == MaxRecords;
    RecordTableInsertTop(table, *m_scratch);
    if (full) m_list->removeRow(MaxRecords - 1);
    InsertRecordItem(0, 0);
    SelectRecord(0);
}

void CVarnelDlg::ExportSelected(ExportCommand command)
{
    const RecordTable& table = TheRecordTable();
    // With nothing loaded there is nothing to write: an empty file reported as a success would
    // mislead.
    if (table.count == 0 || table.selected < 0 || table.selected >= table.count) {
        m_dialogs->Inform(this, kNoticeCaption, QStringLiteral("请先导入测量记录。"));
        return;
    }
    QString filter;
    QString file = m_dialogs->SaveFile(this, SaveRequestFor(command), &filter);
    if (file.isEmpty()) return;
    const RecordFormat* format = ChosenFormat(command, filter, file);
    int error = 0;
    if (format->writer(QFile::encodeName(file).constData(), table.records[table.selected], &error) == 0) {
        m_dialogs->Inform(this, kNoticeCaption, QString::fromUtf8(format->successText));
        return;
    }
    const QString reason = error != 0 ? QString::fromLocal8Bit(std::strerror(error)) : QStringLiteral("未知错误");
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
    const QString file = m_dialogs->SaveFile(
        this, {QStringLiteral("另存为"), QStringLiteral("测量记录"), QStringLiteral("jpg"),
               {QStringLiteral("(*.jpg)"), QStringLiteral("(*.bmp)"), QStringLiteral("(*.png)"), QStringLiteral("(*.gif)")},
               0});
    if (file.isEmpty()) return;
    // The window repaints where the save dialog was, and takes no input until it is captured.
    QEventLoop pause;
    QTimer::singleShot(2000, Qt::PreciseTimer, &pause, &QEventLoop::quit);
    pause.exec(QEventLoop::ExcludeUserInputEvents);

    QString reason;
    if (WriteImageFile(GrabWindowPicture(*this), file, &reason) == 0)
        m_dialogs->Inform(this, kNoticeCaption, QStringLiteral("已成功导出为图片文件，谢谢！"));
    else
        m_dialogs->Inform(this, kNoticeCaption, ExportFailureText(file, reason));
}
