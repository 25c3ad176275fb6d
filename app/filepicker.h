#pragma once
// The window's own file-open dialog. The instrument names its files in GBK, which Qt's dialog
// cannot show or hand back (it decodes names as UTF-8 and drops what does not decode), and Qt's
// dialog reads the first bytes of listed files to guess their type, which freezes the window on
// a drive whose reads stall. This one lists a folder by its bytes, shows each name decoded as
// UTF-8 or else as GBK, returns the chosen file's path as bytes, and reads nothing but the
// folder and each entry's metadata. It looks and behaves like the standard dialog otherwise.
#include <QByteArray>
#include <QDialog>
#include <QString>
#include <QStringList>

#include <vector>

class QComboBox;
class QLineEdit;
class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;

// A name's bytes as the user reads them (NameText: UTF-8, else GBK, else the bytes escaped).
QString DisplayName(const QByteArray& name);

// Whether name matches one of patterns ("*.nmea*", "*"), compared as bytes, case-sensitive.
bool NameMatchesPatterns(const QByteArray& name, const std::vector<QByteArray>& patterns);

// The patterns of a filter such as "测量记录文件 (*.nmea*)" or "所有文件 (*)".
std::vector<QByteArray> PatternsOfFilter(const QString& filter);

class CRecordFilePicker : public QDialog {
    Q_OBJECT
public:
    // Opens in folder (bytes; "" or a folder that cannot be listed: the current folder).
    CRecordFilePicker(QWidget* owner, const QString& caption, const QStringList& filters, const QByteArray& folder);

    // The chosen file's path, bytes as on disk; empty until a file was chosen.
    QByteArray SelectedPath() const { return m_selected; }
    QByteArray CurrentFolder() const { return m_folder; }

    // Lists folder; false (and the list unchanged) when it cannot be read.
    bool ShowFolder(const QByteArray& folder);

    void accept() override;

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    struct Entry {
        QByteArray name;
        QString shown;  // DisplayName(name)
        bool folder;
        qint64 size;
        qint64 modified;  // seconds since the epoch
    };
    const Entry& EntryOf(const QTreeWidgetItem* item) const;
    void Fill();
    void Activate(QTreeWidgetItem* item);
    void GoUp();

    QByteArray m_folder;
    QByteArray m_selected;
    std::vector<Entry> m_entries;
    QLineEdit* m_location;
    QTreeWidget* m_view;
    QLineEdit* m_name;
    QComboBox* m_filter;
    QPushButton* m_open;
};
