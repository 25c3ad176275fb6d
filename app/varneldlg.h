#pragma once
// The main window: record list, map area, result panel and the command buttons.
#include <QByteArray>
#include <QDialog>
#include <QIcon>
#include <QList>

#include <memory>

#include "app/userdialogs.h"
#include "export/record_formats.h"
#include "import/folder_import.h"
#include "import/record.h"

class CArchiveSession;
class CArchiveWindow;
class CExplorer1;
class CImportStatus;
class CVolumeWatch;
class COutlineArea;
class QLabel;
class QMimeData;
class QScrollArea;
class QTableWidget;
struct ImportReport;

class CVarnelDlg : public QDialog {
    Q_OBJECT
public:
    // Control ids of the window's template.
    enum ControlId : int {
        IDC_OUTLINE = 1000,
        IDC_EXPLORER1 = 1001,
        IDC_IMPORT_FILE = 1003,
        IDC_EXPORT_IMAGE = 1004,
        IDC_RESULT_TEXT = 1005,
        IDC_HEADER = 1006,
        IDC_RESULT_GROUP = 1007,
        IDC_OUTLINE_GROUP = 1008,
        IDC_EXPORT_CAD = 1009,
        IDC_EXPORT_GIS = 1012,
        IDC_EXPORT_REPORT = 1016,
        IDC_EXPORT_EXCEL = 1013,
        IDC_IMPORT_DEVICE = 1014,
        IDC_RECORD_LIST = 1015,
        IDC_QUIT = 1,
        IDC_IMPORT_STATUS = 1020,  // the import's status line, under the list
        IDC_ARCHIVE = 1021,         // "记录库..."
        IDC_ARCHIVE_STATUS = 1022,  // the archive's status line, under the import's
        IDC_PUBLISH = 1023,
    };

    // dialogs: where file dialogs and message boxes go; nullptr uses the real ones.
    explicit CVarnelDlg(CUserDialogs* dialogs = nullptr);
    ~CVarnelDlg() override;

    // Shows records[slot] in the result panel. −1 when the record has nothing to draw.
    int ShowResult(int slot);

    // Inserts a list row at position showing records[slot].
    void InsertRecordItem(int position, int slot);

    // Makes records[slot] the selected record: highlights and reveals its row, gives the list
    // the focus, and shows it on the map and in the result panel.
    void SelectRecord(int slot);

    // Draws records[slot] on the map.
    void ShowRecordOnMap(int slot);

    void OnImportDevice();
    void OnImportFile();
    void OnExportCad();
    void OnExportExcel();
    // The GIS formats in one save dialog, GeoPackage first; the measurement report as PDF.
    void OnExportGis();
    void OnExportReport();
    // Saves a picture of the whole window, 2 seconds after the save dialog has gone.
    void OnExportImage();
    // "发布到服务器...": the listed records sent to a shared database (CPublishDlg).
    void OnPublish();

    // A double-click on list row `row` (−1: below the last row) shows that row's record.
    void OnListDoubleClick(int row);

    // "打开离线地图包..." of the map's menu: asks for a package and shows it on the map.
    void OnOpenTilePackage();
    // Shows the package at path on the map; a refused one is named in a message with the reason.
    void OpenTilePackage(const QString& path);

    // Imports each path as the import commands do: a folder as "导入设备...", anything else as
    // "导入文件...", one after another, and reports them together on the status line.
    void ImportPaths(const QList<QByteArray>& paths);

    // ImportPaths once the map page has loaded, so that the record shown is drawn on it.
    void ImportPathsAfterMapLoad(const QList<QByteArray>& paths);

    // "记录库..." (Ctrl+L): opens the archive window, or raises it.
    void OnArchive();
    // Puts archived records on top of the list, the first of ids on top and shown, by the
    // list's MaxRecords rule; records already listed are shown again instead. The status line
    // tells what could not be added.
    void AddArchivedRecords(const QList<qint64>& ids);
    // A newly mounted volume at folder holds newRecords record files the archive lacks: the
    // archive's status line offers to import them.
    void OfferVolume(const QByteArray& folder, int newRecords);
    CArchiveSession& ArchiveSession() { return *m_archive; }
    // How the imports read a file (LoadRecordFile); the tests put a stalled drive here.
    void SetRecordFileLoad(RecordFileLoad load) { m_loadRecordFile = load; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // Rectangle of a template control, in pixels.
    QRect ControlRect(ControlId id) const;
    // The template's size in pixels.
    QSize TemplateSize() const;
    void CreateRecordList();
    // Sets list row `row` to show records[slot].
    void SetRecordItems(int row, int slot);
    // The list becomes the table: row i shows records[i].
    void FillRecordList();
    // Places every control for the surface's current size: the map takes the extra width, the
    // map and the list the extra height; the result panel and the buttons keep their size.
    void LayOutControls();
    // The template's size where the screen has room, else the minimum; a screen smaller than the
    // minimum gets a window of its size, whose surface scrolls. Placed on the screen.
    void FitToScreen();
    void ImportDevice(const QByteArray& folderPath, ImportReport& report);
    void ImportFile(const QByteArray& path, ImportReport& report);
    void ImportPaths(const QList<QByteArray>& paths, ImportReport& report);
    void ImportDrop(const QMimeData& data);
    // Offers the record files of volumes mounted while the window is open (OfferVolume).
    void WatchVolumes();
    // Ends an import: its archive transaction, and both status lines.
    void FinishImport(const ImportReport& report);
    // Shows list row `row` (−1: none) and makes it the selected record.
    void ShowListRow(int row);
    // False, after telling the user, when there is no record to export.
    bool HaveRecordToExport();
    void SetFonts();
    void ShowAbout();
    // Saves the selected record in a format the command offers, from the table of formats.
    void ExportSelected(ExportCommand command);

    std::unique_ptr<CUserDialogs> m_ownDialogs;
    CUserDialogs* m_dialogs;
    std::unique_ptr<MeasureRecord> m_scratch;  // a file is loaded here before the table changes
    RecordFileLoad m_loadRecordFile = LoadRecordFile;
    QIcon m_icon;
    CExplorer1* m_mapArea;
    QTableWidget* m_list;
    COutlineArea* m_outline;
    QLabel* m_resultText;
    QLabel* m_header;
    QWidget* m_outlineGroup;
    QWidget* m_resultGroup;
    CImportStatus* m_status;
    CImportStatus* m_archiveStatus;
    std::unique_ptr<CArchiveSession> m_archive;
    CArchiveWindow* m_archiveWindow = nullptr;
    CVolumeWatch* m_volumes = nullptr;
    QScrollArea* m_scroll;
    QWidget* m_content;  // the surface holding every control, in m_scroll
    QList<std::pair<ControlId, QWidget*>> m_controls;  // every template control, for the layout
    bool m_selecting = false;  // SelectRecord is moving the list's current row itself
    int m_resultTipSlot = -1;  // the shown record whose tooltip is still to be made, or −1
};
