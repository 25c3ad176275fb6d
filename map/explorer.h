#pragma once
// The map browser of the main window (control 1001): a web view showing the map page that
// the program carries as a resource.
#include <QWebEngineView>

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

private:
    CMapPage* m_page;
    bool m_navigated = false;
};

// Call in main() before the QApplication is made. Prepares the browser engine: its sandbox
// cannot run as root, so it is switched off then, and only then; the offline map packages'
// URL scheme is registered.
void InitMapBrowser();
