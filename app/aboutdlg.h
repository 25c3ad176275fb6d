#pragma once
// The About box: icon, the program's name and version, its licence, and "确定".
#include <QDialog>
#include <QString>

// "Varnel 测量数据助手 <version> 版", the version being the build's.
QString AboutProgramText();

// What the program may be used under.
QString AboutLicenceText();

class CAboutDlg : public QDialog {
    Q_OBJECT
public:
    explicit CAboutDlg(QWidget* parent);
};
