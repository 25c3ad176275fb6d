#include "app/aboutdlg.h"

#include <QLabel>
#include <QPushButton>

#include "import/dialogtemplate.h"

QString AboutProgramText()
{
    return QStringLiteral("Varnel 测量数据助手 %1 版").arg(QStringLiteral(VARNEL_VERSION));
}

QString AboutLicenceText()
{
    return QStringLiteral("本程序尚未发布许可证，版权所有。");
}

CAboutDlg::CAboutDlg(QWidget* parent) : QDialog(parent)
{
    setWindowTitle(QStringLiteral("关于 Varnel"));
    setFont(DialogFont());
    const DialogBaseUnits units = DialogBaseUnitsOf(font());

    auto* icon = new QLabel(this);
    icon->setPixmap(AppIcon().pixmap(32, 32));
    icon->setGeometry(QRect(DialogRect(units, 14, 14, 0, 0).topLeft(), QSize(32, 32)));

    // The text lines are as wide as the template's, or as their text where that is wider; the
    // box widens with them.
    int textWidth = DialogRect(units, 0, 0, 114, 0).width();
    const QRect lines[] = {DialogRect(units, 42, 14, 114, 8), DialogRect(units, 42, 26, 114, 8)};
    const QString texts[] = {AboutProgramText(), AboutLicenceText()};
    for (const QString& text : texts) textWidth = qMax(textWidth, fontMetrics().horizontalAdvance(text) + 2);
    for (int i = 0; i < 2; ++i) {
        auto* label = new QLabel(texts[i], this);
        label->setGeometry(lines[i].x(), lines[i].y(), textWidth, lines[i].height());
    }
    const QRect box = DialogRect(units, 0, 0, 170, 62);
    const int extra = qMax(0, lines[0].x() + textWidth + DialogRect(units, 0, 0, 14, 0).width() - box.width());
    setFixedSize(box.width() + extra, box.height());

    auto* ok = new QPushButton(QStringLiteral("确定"), this);
    ok->setGeometry(DialogRect(units, 113, 41, 50, 14).translated(extra, 0));
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
}
