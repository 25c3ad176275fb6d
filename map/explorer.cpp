#include "map/explorer.h"

#include <unistd.h>

#include <QCoreApplication>
#include <QFile>
#include <QUrl>
#include <QWebEngineSettings>

#include "map/mappage.h"
#include "map/tilepackage.h"

CExplorer1::CExplorer1(QWidget* parent) : QWebEngineView(parent), m_page(new CMapPage(this))
{
    // The resources live in a static library; this keeps them linked in.
    Q_INIT_RESOURCE(map);
    // The page is local content that loads the online map API; Qt blocks that by default.
    m_page->settings()->setAttribute(QWebEngineSettings::LocalContentCanAccessRemoteUrls, true);
    setPage(m_page);
}

bool CExplorer1::LoadMapPage()
{
    if (!QFile::exists(QString::fromLatin1(MapPageResource))) return false;
    load(QUrl(QStringLiteral("qrc") + QString::fromLatin1(MapPageResource)));
    m_navigated = true;
    return true;
}

QWebEnginePage* CExplorer1::Document() const
{
    return m_navigated ? m_page : nullptr;
}

void InitMapBrowser()
{
    if (geteuid() == 0 && !qEnvironmentVariableIsSet("QTWEBENGINE_DISABLE_SANDBOX"))
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    // The browser engine shares OpenGL contexts with the window; Qt wants this said up front.
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    RegisterTilePackageScheme();
}
