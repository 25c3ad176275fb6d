#pragma once
// Calls global script functions of the map page by name with string arguments.
//
// The browser runs scripts asynchronously: a call returns true once it is on its way, and a
// failure inside the page (a name the page does not define, a function that throws) is
// reported when the page answers. An answer that comes after this object is gone is only
// traced. Errors are traced as "root@webpage: StdErr --> %s\r\n" in the logging category
// "varnel.webpage" (warnings, on by default).
#include <QPointer>
#include <QString>
#include <QStringList>

#include <memory>

#include "map/scriptbatch.h"

class QWebEnginePage;
class CMapPage;

class CWebPage {
public:
    CWebPage();
    virtual ~CWebPage();
    CWebPage(const CWebPage&) = delete;
    CWebPage& operator=(const CWebPage&) = delete;

    // pDisp: the browser's document (CExplorer1::Document()). False, with the error
    // reported, when it is null or not a map page; a null pDisp keeps the previous one.
    bool AttachDocument(QWebEnginePage* pDisp);

    // The attached page that runs the scripts; false when there is none.
    bool GetScript(CMapPage*& script);

    bool JSCall(const QString& strFunc);
    bool JSCall(const QString& strFunc, const QString& strArg1);
    bool JSCall(const QString& strFunc, const QString& strArg1, const QString& strArg2);
    bool JSCall(const QString& strFunc, const QString& strArg1, const QString& strArg2,
                const QString& strArg3);
    bool JSCall(const QString& strFunc, const QStringList& paramArray);
    // All calls of calls in one script evaluation, in order.
    bool JSCall(const CScriptBatch& calls);

    // Stores "JSCall Error:\n" + text as the last error and traces it.
    void ReportError(const QString& text);

    // The script engine's error text, or "FormatMessage Netive Error" when it gave none.
    static QString FormatSystemError(const QString& scriptError);

    const QString& GetLastError() const { return m_strLastError; }

private:
    QPointer<CMapPage> m_spDoc;
    QString m_strLastError;
    // Answers from the page reach this object through a weak reference to it.
    std::shared_ptr<CWebPage*> m_spSelf;
};
