#pragma once
// What every window test starts from: an empty record table and a shown main window whose
// dialogs are scripted, plus a scratch folder; all of it made anew for each test function. With
// it the window's controls the tests read and press, and whole-file reads and writes.
#include <QByteArray>
#include <QFile>
#include <QHelpEvent>
#include <QLabel>
#include <QObject>
#include <QPushButton>
#include <QString>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QToolTip>
#include <QtTest>

#include <cstring>

#include "tests/support/scripteddialogs.h"
#include "tests/support/testsupport.h"
#include "app/varneldlg.h"
#include "import/record.h"

// The whole content of the file at path; empty when it cannot be read.
inline QByteArray ReadAll(const QString& path)
{
    return QByteArray::fromStdString(ReadWholeFile(QFile::encodeName(path).toStdString()));
}

// Makes path a file holding exactly content; fails the test when it cannot.
inline void WriteFile(const QString& path, const QByteArray& content)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    QCOMPARE(file.write(content), content.size());
}

class CWindowFixture : public QObject {
protected:
    void OpenWindow()
    {
        std::memset(&TheRecordTable(), 0, sizeof(RecordTable));
        m_dir = new QTemporaryDir;
        // Each window has a record archive of its own, never the user's.
        m_data = new QTemporaryDir;
        qputenv("XDG_DATA_HOME", QFile::encodeName(m_data->path()));
        m_dialogs = new CScriptedDialogs;
        m_dlg = new CVarnelDlg(m_dialogs);
        m_dlg->show();
    }

    void CloseWindow()
    {
        delete m_dlg;
        delete m_dialogs;
        delete m_dir;
        delete m_data;
        m_data = nullptr;
        m_dlg = nullptr;
        m_dialogs = nullptr;
        m_dir = nullptr;
    }

    // A control's rectangle in screen coordinates.
    static QRect OnScreen(const QWidget* w) { return QRect(w->mapToGlobal(QPoint(0, 0)), w->size()); }

    QTableWidget* List() const { return m_dlg->findChild<QTableWidget*>(QStringLiteral("recordList")); }
    QLabel* ResultLabel() const { return m_dlg->findChild<QLabel*>(QStringLiteral("resultText")); }
    QString ShownText() const { return ResultLabel()->text(); }
    // The result text's tooltip as the pointer resting on it gets it: the window makes it only
    // when it is asked for.
    QString ResultToolTip() const
    {
        QLabel* label = ResultLabel();
        QHelpEvent hover(QEvent::ToolTip, QPoint(1, 1), label->mapToGlobal(QPoint(1, 1)));
        QCoreApplication::sendEvent(label, &hover);
        QToolTip::hideText();
        return label->toolTip();
    }
    // Clicks the window's button of that object name.
    void Click(const char* button) const
    {
        QTest::mouseClick(m_dlg->findChild<QPushButton*>(QLatin1String(button)), Qt::LeftButton);
    }

    CScriptedDialogs* m_dialogs = nullptr;
    CVarnelDlg* m_dlg = nullptr;
    QTemporaryDir* m_dir = nullptr;
    QTemporaryDir* m_data = nullptr;  // $XDG_DATA_HOME while the window is open: its archive
};
