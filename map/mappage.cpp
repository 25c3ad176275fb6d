#include "map/mappage.h"

namespace {
// What the map page writes to its console once its Map_ functions can be called.
const QString MapReadyMessage = QStringLiteral("varnel:map-ready");
}  // namespace

CMapPage::CMapPage(QObject* parent) : QWebEnginePage(parent)
{
    connect(this, &QWebEnginePage::loadStarted, this, &CMapPage::OnLoadStarted);
    connect(this, &QWebEnginePage::loadFinished, this, &CMapPage::OnLoadFinished);
}

void CMapPage::RunScript(const QString& script, ScriptDone done)
{
    if (m_loadFailed) {
        // Answered as runJavaScript answers, later, so callers see one order of events.
        if (done) QMetaObject::invokeMethod(this, [done = std::move(done)] { done(QVariant()); }, Qt::QueuedConnection);
        return;
    }
    if (!m_mapReady) {
        m_waiting.emplace_back(script, std::move(done));
        return;
    }
    runJavaScript(script, std::move(done));
}

void CMapPage::javaScriptConsoleMessage(JavaScriptConsoleMessageLevel level, const QString& message,
                                        int lineNumber, const QString& sourceID)
{
    if (level == InfoMessageLevel && message == MapReadyMessage && sourceID.startsWith(u"qrc:")) {
        SetMapReady();
        return;
    }
    QWebEnginePage::javaScriptConsoleMessage(level, message, lineNumber, sourceID);
}

void CMapPage::OnLoadStarted()
{
    m_mapReady = false;
    m_loadFailed = false;
}

void CMapPage::OnLoadFinished(bool ok)
{
    if (ok) {
        // The page has run all its scripts; if it made no map, the waiting calls still run
        // and report their failures rather than waiting for ever.
        SetMapReady();
        return;
    }
    if (m_mapReady) return;
    m_loadFailed = true;
    for (auto& [script, done] : std::exchange(m_waiting, {}))
        if (done) done(QVariant());
}

void CMapPage::SetMapReady()
{
    if (m_mapReady) return;
    m_mapReady = true;
    for (auto& [script, done] : std::exchange(m_waiting, {}))
        runJavaScript(script, std::move(done));
    emit mapReady();
}
