#include "map/mappackages.h"

#include <QChildEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QUrl>

#include "map/explorer.h"
#include "map/tilepackage.h"
#include "map/webpage.h"

namespace {

void OfferPackage(CExplorer1& browser, const TilePackageInfo& info, bool show)
{
    const QString bounds = info.hasBounds
        ? QStringLiteral("%1,%2,%3,%4").arg(info.west, 0, 'g', 12).arg(info.south, 0, 'g', 12)
              .arg(info.east, 0, 'g', 12).arg(info.north, 0, 'g', 12)
        : QString();
    CWebPage page;
    page.AttachDocument(browser.Document());
    page.JSCall(QStringLiteral("Map_AddTilePackage"),
                QStringList{QString::number(info.id), info.name, TileDatumName(info.datum),
                            QString::number(info.minZoom), QString::number(info.maxZoom), bounds,
                            show ? QStringLiteral("1") : QStringLiteral("0")});
}

}  // namespace

bool OpenTilePackageOnMap(CExplorer1& browser, const QString& path, bool show, QString* error)
{
    const int id = TheTilePackages().Open(path, error);
    if (id < 0) return false;
    OfferPackage(browser, TheTilePackages().Packages()[id], show);
    return true;
}

void OfferOpenTilePackages(CExplorer1& browser)
{
    for (const TilePackageInfo& info : TheTilePackages().Packages()) OfferPackage(browser, info, false);
}

QStringList OfferStartupTilePackages(CExplorer1& browser)
{
    QStringList refused;
    for (const QString& path : StartupTilePackagePaths()) {
        QString error;
        if (!OpenTilePackageOnMap(browser, path, false, &error)) refused << error;
    }
    return refused;
}

namespace {

// The browser draws in a child widget that takes the drag events; this watches the view and
// every child it gets.
class CTilePackageDrop : public QObject {
public:
    CTilePackageDrop(QWidget* view, std::function<void(const QString&)> open)
        : QObject(view), m_open(std::move(open))
    {
        Watch(view);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        switch (event->type()) {
        case QEvent::ChildAdded:
            if (auto* child = qobject_cast<QWidget*>(static_cast<QChildEvent*>(event)->child())) Watch(child);
            break;
        case QEvent::DragEnter:
        case QEvent::DragMove: {
            auto* drag = static_cast<QDropEvent*>(event);
            if (Packages(drag->mimeData()).isEmpty()) break;
            drag->acceptProposedAction();
            return true;
        }
        case QEvent::Drop: {
            auto* drop = static_cast<QDropEvent*>(event);
            const QStringList paths = Packages(drop->mimeData());
            if (paths.isEmpty()) break;
            drop->acceptProposedAction();
            for (const QString& path : paths) m_open(path);
            return true;
        }
        default:
            break;
        }
        return QObject::eventFilter(watched, event);
    }

private:
    void Watch(QWidget* widget)
    {
        widget->setAcceptDrops(true);
        widget->installEventFilter(this);
        for (QObject* child : widget->children())
            if (auto* w = qobject_cast<QWidget*>(child)) Watch(w);
    }

    // The local files of a drop when every one of them is a package, else none.
    static QStringList Packages(const QMimeData* data)
    {
        QStringList paths;
        if (!data || !data->hasUrls()) return paths;
        for (const QUrl& url : data->urls()) {
            if (!url.isLocalFile() || !url.toLocalFile().endsWith(QLatin1String(".mbtiles"), Qt::CaseInsensitive))
                return {};
            paths << url.toLocalFile();
        }
        return paths;
    }

    std::function<void(const QString&)> m_open;
};

}  // namespace

void AcceptTilePackageDrops(CExplorer1& browser, std::function<void(const QString& path)> open)
{
    new CTilePackageDrop(&browser, std::move(open));
}
