#include "map/webpage.h"

#include <QLoggingCategory>

#include "map/mappage.h"

Q_LOGGING_CATEGORY(lcWebPage, "varnel.webpage", QtWarningMsg)

namespace {
QString ErrorText(const QString& text)
{
    return QStringLiteral("JSCall Error:\n") + text;
}

void TraceError(const QString& errorText)
{
    qCWarning(lcWebPage, "root@webpage: StdErr --> %s\r\n", qUtf8Printable(errorText));
}
}  // namespace

CWebPage::CWebPage() : m_spSelf(std::make_shared<CWebPage*>(this)) {}

CWebPage::~CWebPage() = default;

bool CWebPage::AttachDocument(QWebEnginePage* pDisp)
{
    if (!pDisp) {
        ReportError(QStringLiteral("NULL pointer"));
        return false;
    }
    m_spDoc = qobject_cast<CMapPage*>(pDisp);
    if (!m_spDoc) {
        ReportError(QStringLiteral("Failed to get HTML document COM object"));
        return false;
    }
    return true;
}

bool CWebPage::GetScript(CMapPage*& script)
{
    if (!m_spDoc) {
        ReportError(QStringLiteral("NULL pointer"));
        return false;
    }
    script = m_spDoc;
    return true;
}

bool CWebPage::JSCall(const QString& strFunc)
{
    return JSCall(strFunc, QStringList());
}

bool CWebPage::JSCall(const QString& strFunc, const QString& strArg1)
{
    return JSCall(strFunc, QStringList{strArg1});
}

bool CWebPage::JSCall(const QString& strFunc, const QString& strArg1, const QString& strArg2)
{
    return JSCall(strFunc, QStringList{strArg1, strArg2});
}

bool CWebPage::JSCall(const QString& strFunc, const QString& strArg1, const QString& strArg2,
                      const QString& strArg3)
{
    return JSCall(strFunc, QStringList{strArg1, strArg2, strArg3});
}

bool CWebPage::JSCall(const QString& strFunc, const QStringList& paramArray)
{
    CScriptBatch call;
    call.Add(strFunc, paramArray);
    return JSCall(call);
}

bool CWebPage::JSCall(const CScriptBatch& calls)
{
    CMapPage* script = nullptr;
    if (!GetScript(script)) {
        ReportError(QStringLiteral("Cannot GetScript"));
        return false;
    }
    script->RunScript(calls.Script(), [self = std::weak_ptr<CWebPage*>(m_spSelf)](const QVariant& result) {
        const auto report = [&self](const QString& text) {
            if (const auto page = self.lock())
                (*page)->ReportError(text);
            else
                TraceError(ErrorText(text));
        };
        // The evaluation's value is the array of error texts; anything else means it did not run.
        if (result.typeId() != QMetaType::QVariantList) {
            report(FormatSystemError(QString()));
            return;
        }
        for (const QVariant& error : result.toList()) report(FormatSystemError(error.toString()));
    });
    return true;
}

void CWebPage::ReportError(const QString& text)
{
    m_strLastError = ErrorText(text);
    TraceError(m_strLastError);
}

QString CWebPage::FormatSystemError(const QString& scriptError)
{
    return scriptError.isEmpty() ? QStringLiteral("FormatMessage Netive Error") : scriptError;
}
