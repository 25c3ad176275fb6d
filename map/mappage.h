#pragma once
// The page the map browser shows. Scripts sent before the map page has made its map wait
// here and run, in order, as soon as it has: a record shown during start-up is not lost.
#include <QWebEnginePage>

#include <functional>
#include <utility>
#include <vector>

class CMapPage : public QWebEnginePage {
    Q_OBJECT

public:
    using ScriptDone = std::function<void(const QVariant& result)>;

    explicit CMapPage(QObject* parent = nullptr);

    // True once the page has made its map (or finished loading without one).
    bool IsMapReady() const { return m_mapReady; }

    // Runs script in the page's own script world, now or once the map is ready; done gets
    // the script's value, or an invalid QVariant when the script did not run.
    void RunScript(const QString& script, ScriptDone done);

signals:
    void mapReady();

protected:
    void javaScriptConsoleMessage(JavaScriptConsoleMessageLevel level, const QString& message,
                                  int lineNumber, const QString& sourceID) override;

private:
    void OnLoadStarted();
    void OnLoadFinished(bool ok);
    void SetMapReady();

    bool m_mapReady = false;
    bool m_loadFailed = false;  // the page failed before making a map: calls fail at once
    std::vector<std::pair<QString, ScriptDone>> m_waiting;
};
