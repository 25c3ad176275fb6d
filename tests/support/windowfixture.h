#pragma once
// What every window test starts from: an empty record table and a shown main window whose
// dialogs are scripted, plus a scratch folder; all of it made anew for each test function.
#include <QObject>
#include <QTemporaryDir>

#include <cstring>

#include "tests/support/scripteddialogs.h"
#include "app/varneldlg.h"
#include "import/record.h"

class CWindowFixture : public QObject {
protected:
    void OpenWindow()
    {
        std::memset(&TheRecordTable(), 0, sizeof(RecordTable));
        m_dir = new QTemporaryDir;
        m_dialogs = new CScriptedDialogs;
        m_dlg = new CVarnelDlg(m_dialogs);
        m_dlg->show();
    }

    void CloseWindow()
    {
        delete m_dlg;
        delete m_dialogs;
        delete m_dir;
        m_dlg = nullptr;
        m_dialogs = nullptr;
        m_dir = nullptr;
    }

    CScriptedDialogs* m_dialogs = nullptr;
    CVarnelDlg* m_dlg = nullptr;
    QTemporaryDir* m_dir = nullptr;
};
