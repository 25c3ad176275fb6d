#include "app/userguide.h"

#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QUrl>

#include "app/userdialogs.h"

namespace {

const QString kGuideName = QStringLiteral("使用说明.html");

// Both folders relative to the program's own, as the build lays them out.
QStringList GuideFolders()
{
    return {QStringLiteral(VARNEL_GUIDE_INSTALLED), QStringLiteral(VARNEL_GUIDE_BUILT)};
}

}  // namespace

QString UserGuidePath(const QString& programDir)
{
    for (const QString& folder : GuideFolders()) {
        const QFileInfo page(QDir(programDir).filePath(folder + QLatin1Char('/') + kGuideName));
        if (page.isFile()) return page.absoluteFilePath();
    }
    return {};
}

void OpenUserGuide(QWidget* owner, CUserDialogs& dialogs, const QString& programDir)
{
    const QString caption = QStringLiteral("温馨提示：");
    const QString page = UserGuidePath(programDir);
    if (page.isEmpty()) {
        const QString installed = QDir::cleanPath(QDir(programDir).filePath(GuideFolders().first()));
        dialogs.Inform(owner, caption,
                       QStringLiteral("找不到使用说明：%1 中没有 %2。").arg(QDir::toNativeSeparators(installed), kGuideName));
        return;
    }
    if (!QDesktopServices::openUrl(QUrl::fromLocalFile(page)))
        dialogs.Inform(owner, caption,
                       QStringLiteral("没有可以打开网页的程序，请用浏览器打开使用说明：\n%1").arg(QDir::toNativeSeparators(page)));
}
