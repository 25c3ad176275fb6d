#include "app/aboutdlg.h"

#include <QLabel>
#include <QPushButton>

#include "import/dialogtemplate.h"

CAboutDlg::CAboutDlg(QWidget* parent) : QDialog(parent)
{
    setWindowTitle(QStringLiteral("关于 Varnel"));
    setFont(DialogFont());
    const DialogBaseUnits units = DialogBaseUnitsOf(font());
    setFixedSize(DialogRect(units, 0, 0, 170, 62).size());

    auto* icon = new QLabel(this);
    icon->setPixmap(AppIcon().pixmap(32, 32));
    icon->setGeometry(QRect(DialogRect(units, 14, 14, 0, 0).topLeft(), QSize(32, 32)));

    auto* maker = new QLabel(QStringLiteral("Varnel 客服热线：400-000-0000"), this);
    maker->setGeometry(DialogRect(units, 42, 14, 114, 8));
    auto* year = new QLabel(QStringLiteral("Varnel %1 版，2026 年").arg(QStringLiteral(VARNEL_VERSION)), this);
    year->setGeometry(DialogRect(units, 42, 26, 114, 8));

    auto* ok = new QPushButton(QStringLiteral("确定"), this);
    ok->setGeometry(DialogRect(units, 113, 41, 50, 14));
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
}
