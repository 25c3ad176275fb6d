#include "map/scriptbatch.h"

#include <iterator>

namespace {
// Printable ASCII goes as it is; everything else as \uXXXX, which keeps the script plain
// ASCII and carries line ends, U+2028/U+2029 and even lone surrogates through unchanged.
void AppendStringLiteral(QString& out, QStringView text)
{
    static constexpr char16_t Hex[] = u"0123456789abcdef";
    out += u'"';
    // Names and numbers, nearly every text sent, need no escape: the run up to the first
    // character that does goes in at once.
    qsizetype plain = 0;
    while (plain < text.size() && text[plain] >= u' ' && text[plain] < u'\x7f' && text[plain] != u'"' &&
           text[plain] != u'\\')
        ++plain;
    out += text.first(plain);
    for (const QChar ch : text.sliced(plain)) {
        const char16_t c = ch.unicode();
        if (c == u'"' || c == u'\\') {
            out += u'\\';
            out += ch;
        } else if (c >= 0x20 && c < 0x7f) {
            out += ch;
        } else {
            const char16_t escape[] = {u'\\', u'u', Hex[c >> 12], Hex[(c >> 8) & 0xf], Hex[(c >> 4) & 0xf], Hex[c & 0xf]};
            out.append(reinterpret_cast<const QChar*>(escape), 6);
        }
    }
    out += u'"';
}

// c(name, arguments) calls one page function and keeps its error text; an error's text that
// cannot be read becomes empty.
constexpr char16_t Prologue[] =
    u"(function(){var e=[];"
    u"function t(x){try{return String(x);}catch(y){return \"\";}}"
    u"function c(n,a){var f=window[n];"
    u"if(typeof f!==\"function\"){e.push(\"ReferenceError: \"+n+\" is not defined\");return;}"
    u"try{f.apply(window,a);}catch(x){e.push(t(x));}}\n";
constexpr char16_t Epilogue[] = u"return e;})()";
}  // namespace

void CScriptBatch::Add(QStringView name, std::initializer_list<QStringView> arguments)
{
    Add<std::initializer_list<QStringView>>(name, arguments);
}

void CScriptBatch::OpenCall(QStringView name)
{
    m_calls += u"c(";
    AppendStringLiteral(m_calls, name);
    m_calls += u",[";
    m_firstArgument = true;
}

void CScriptBatch::AddArgument(QStringView text)
{
    if (!m_firstArgument) m_calls += u',';
    m_firstArgument = false;
    AppendStringLiteral(m_calls, text);
}

void CScriptBatch::CloseCall()
{
    m_calls += u"]);\n";
}

QString CScriptBatch::Script() const
{
    QString script;
    script.reserve(std::size(Prologue) + m_calls.size() + std::size(Epilogue));
    script += QStringView(Prologue);
    script += m_calls;
    script += QStringView(Epilogue);
    return script;
}
