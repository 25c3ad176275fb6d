#include "map/remoteblocker.h"

#include "map/tilepackage.h"

void CRemoteBlocker::interceptRequest(QWebEngineUrlRequestInfo& info)
{
    const QString scheme = info.requestUrl().scheme();
    if (scheme != u"qrc" && scheme != u"data" && scheme != QLatin1String(TilePackageScheme)) info.block(true);
}
