#include "map/explorer.h"

#include <unistd.h>

#include <QContextMenuEvent>
#include <QCoreApplication>
#include <QFile>
#include <QLoggingCategory>
#include <QMenu>
#include <QUrl>
#include <QWebEngineSettings>

#include "map/mappage.h"
#include "map/webpage.h"

Q_LOGGING_CATEGORY(lcMap, "varnel.map", QtWarningMsg)

namespace {
// A page whose render process dies this often without ever making its map again is left
// alone, rather than reloaded for ever.
constexpr int MaxReloadsAfterCrash = 3;
}  // namespace

CExplorer1::CExplorer1(QWidget* parent) : QWebEngineView(parent), m_page(new CMapPage(this))
{
    // The resources live in a static library; this keeps them linked in.
    Q_INIT_RESOURCE(map);
    // The page is local content that loads the online map API; Qt blocks that by default.
    m_page->settings()->setAttribute(QWebEngineSettings::LocalContentCanAccessRemoteUrls, true);
    setPage(m_page);
    // After the page's own handler, which has put the page in its loading state.
    connect(m_page, &QWebEnginePage::loadStarted, this, &CExplorer1::OnLoadStarted);
    connect(m_page, &QWebEnginePage::renderProcessTerminated, this, &CExplorer1::OnRenderProcessTerminated);
    connect(m_page, &CMapPage::mapReady, this, [this] { m_crashesSinceReady = 0; });
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

void CExplorer1::SetShownRecord(const CScriptBatch& calls, std::optional<MapFit> fit)
{
    m_shownFit = fit;
    m_shownCalls = fit ? calls : CScriptBatch();
}

void CExplorer1::CallPage(const CScriptBatch& calls)
{
    CWebPage page;
    page.AttachDocument(Document());
    page.JSCall(calls);
}

void CExplorer1::Recenter()
{
    CScriptBatch call;
    call.Add(u"Map_Recenter", {});
    CallPage(call);
}

void CExplorer1::ZoomBy(int steps)
{
    CScriptBatch call;
    call.Add(u"Map_ZoomBy", {QString::number(steps)});
    CallPage(call);
}

void CExplorer1::resizeEvent(QResizeEvent* event)
{
    QWebEngineView::resizeEvent(event);
    if (!m_shownFit || !m_navigated) return;
    CScriptBatch call;
    AddMapView(call, *m_shownFit, *this, true);
    CallPage(call);
}

void CExplorer1::contextMenuEvent(QContextMenuEvent* event)
{
    auto* menu = new QMenu(this);
    menu->setObjectName(QStringLiteral("mapMenu"));
    menu->setAttribute(Qt::WA_DeleteOnClose);
    QAction* home = menu->addAction(QStringLiteral("回到测量范围"), this, &CExplorer1::Recenter);
    home->setEnabled(m_shownFit.has_value());
    menu->addSeparator();
    menu->addAction(QStringLiteral("放大"), this, [this] { ZoomBy(1); });
    menu->addAction(QStringLiteral("缩小"), this, [this] { ZoomBy(-1); });
    menu->popup(event->globalPos());
    event->accept();
}

void CExplorer1::OnLoadStarted()
{
    // The page starts empty: the record shown before is drawn again once the map is made.
    if (!m_shownFit) return;
    CScriptBatch calls = m_shownCalls;
    AddMapView(calls, *m_shownFit, *this, true);
    CallPage(calls);
}

void CExplorer1::OnRenderProcessTerminated(QWebEnginePage::RenderProcessTerminationStatus status, int exitCode)
{
    if (!m_navigated) return;
    if (++m_crashesSinceReady > MaxReloadsAfterCrash) {
        qCWarning(lcMap, "map page: render process ended again (status %d, exit code %d); not reloaded",
                  int(status), exitCode);
        return;
    }
    qCWarning(lcMap, "map page: render process ended (status %d, exit code %d); reloading", int(status), exitCode);
    LoadMapPage();
}

void InitMapBrowser()
{
    if (geteuid() == 0 && !qEnvironmentVariableIsSet("QTWEBENGINE_DISABLE_SANDBOX"))
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    // The browser engine shares OpenGL contexts with the window; Qt wants this said up front.
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
}
