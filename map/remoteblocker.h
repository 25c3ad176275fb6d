#pragma once
// Refuses every request that would leave the program's own resources (its qrc: files and
// the offline map packages it serves). With it installed on
// the browser's profile, the map page takes its offline map at once: a known state for
// tests, benchmarks and screenshots that never waits on the network.
#include <QWebEngineUrlRequestInterceptor>

class CRemoteBlocker : public QWebEngineUrlRequestInterceptor {
    Q_OBJECT

public:
    using QWebEngineUrlRequestInterceptor::QWebEngineUrlRequestInterceptor;
    void interceptRequest(QWebEngineUrlRequestInfo& info) override;
};
