#include "map/remoteblocker.h"

void CRemoteBlocker::interceptRequest(QWebEngineUrlRequestInfo& info)
{
    const QString scheme = info.requestUrl().scheme();
    if (scheme != u"qrc" && scheme != u"data") info.block(true);
}
