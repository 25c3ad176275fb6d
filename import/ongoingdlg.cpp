#include "import/ongoingdlg.h"

#include <QCoreApplication>
#include <QLabel>
#include <QProgressBar>

#include "import/dialogtemplate.h"

OnGoingDlg::OnGoingDlg(QWidget* owner)
    : QDialog(owner, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint)
{
    setWindowTitle(QStringLiteral("批量处理"));
    setFont(DialogFont());
    const DialogBaseUnits units = DialogBaseUnitsOf(font());
    setFixedSize(DialogRect(units, 0, 0, 193, 63).size());

    auto* icon = new QLabel(this);
    icon->setPixmap(AppIcon().pixmap(32, 32));
    icon->setGeometry(QRect(DialogRect(units, 20, 18, 0, 0).topLeft(), QSize(32, 32)));

    auto* text = new QLabel(QStringLiteral("您好，数据批量处理中，请稍等，谢谢！"), this);
    text->setObjectName(QStringLiteral("message"));
    text->setGeometry(DialogRect(units, 48, 26, 124, 8));

    m_progress = new QProgressBar(this);
    m_progress->setGeometry(DialogRect(units, 48, 40, 124, 10));
}

void OnGoingDlg::Start(int fileCount)
{
    m_progress->setRange(0, fileCount);
    m_progress->setValue(0);
    show();
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

void OnGoingDlg::SetFilesRead(int filesRead)
{
    m_progress->setValue(filesRead);
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}
