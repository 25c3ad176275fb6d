#pragma once
// Calls of global page functions gathered into one script evaluation.
#include <QString>
#include <QStringView>

#include <initializer_list>

// Each call is guarded on its own: a function the page does not define, or one that throws,
// adds its error text to the evaluation's result (an array of texts) and the next call still
// runs. Names and arguments go in as JSON string literals, so no text can run as script.
class CScriptBatch {
public:
    // Room for about this many characters of calls, so that adding does not reallocate.
    void Reserve(qsizetype characters) { m_calls.reserve(characters); }

    void Add(QStringView name, std::initializer_list<QStringView> arguments);

    template <typename Texts>
    void Add(QStringView name, const Texts& arguments)
    {
        OpenCall(name);
        for (const auto& argument : arguments) AddArgument(argument);
        CloseCall();
    }

    // The whole evaluation; its value is the array of error texts, empty when all went well.
    QString Script() const;

private:
    void OpenCall(QStringView name);
    void AddArgument(QStringView text);
    void CloseCall();

    QString m_calls;
    bool m_firstArgument = true;
};
