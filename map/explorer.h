#pragma once
// The map browser of the main window (control 1001): a web view showing the map page that
// the program carries as a resource.
#include <QWebEngineView>

#include <optional>

#include "map/scriptbatch.h"
#include "map/showrecord.h"

class CMapPage;

// The map page's resource name; the browser loads it as qrc:/map/map.html.
inline constexpr char MapPageResource[] = ":/map/map.html";

class CExplorer1 : public QWebEngineView {
    Q_OBJECT

public:
    explicit CExplorer1(QWidget* parent = nullptr);

    // Navigates to the map page and returns at once; false when the page is not among the
    // program's resources (then the browser stays empty).
    bool LoadMapPage();

    // The document shown: the map page once LoadMapPage has navigated to it, else null.
    QWebEnginePage* Document() const;

    // The calls that drew the record now shown and where it sits (none: no record is shown).
    // A resize fits the record to the new size unless the user has moved the map; a page
    // that loads again (after a crash of its render process, say) draws it again.
    void SetShownRecord(const CScriptBatch& calls, std::optional<MapFit> fit);

    // Back to the shown record's own view, and the map's own zoom steps: what the map's menu
    // does, and its control "回到测量范围".
    void Recenter();
    void ZoomBy(int steps);

protected:
    void resizeEvent(QResizeEvent* event) override;
    // The map's own menu, in place of the browser's page commands (reload, back, save...).
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    void CallPage(const CScriptBatch& calls);
    void OnLoadStarted();
    void OnRenderProcessTerminated(QWebEnginePage::RenderProcessTerminationStatus status, int exitCode);

    CMapPage* m_page;
    bool m_navigated = false;
    CScriptBatch m_shownCalls;
    std::optional<MapFit> m_shownFit;
    int m_crashesSinceReady = 0;
};

// Call in main() before the QApplication is made. Prepares the browser engine: its sandbox
// cannot run as root, so it is switched off then, and only then.
void InitMapBrowser();
