#pragma once
// Scripted answers in place of the real dialogs, for tests and benchmarks: each call takes the
// prepared answer (empty means "cancelled") and is recorded.
#include <QFile>
#include <QList>

#include "app/userdialogs.h"

class CScriptedDialogs final : public CUserDialogs {
public:
    struct Message {
        QString caption;
        QString text;
    };

    QString folderAnswer;
    QString openAnswer;
    QByteArray openAnswerBytes;  // when set, the answer as bytes (a GBK name), in place of openAnswer
    QString saveAnswer;
    int saveFilterAnswer = -1;  // the filter chosen in a save dialog; −1: the preselected one

    QString passwordAnswer;
    QStringList passwordLabels;  // of every password asked for

    QStringList captions;  // of every folder, open and save dialog, in order
    QStringList openFilters;
    QList<SaveFileRequest> saveRequests;
    QList<Message> messages;

    QString ChooseFolder(QWidget*, const QString& caption) override
    {
        captions << caption;
        return folderAnswer;
    }

    QByteArray OpenFile(QWidget*, const QString& caption, const QString& filter) override
    {
        captions << caption;
        openFilters << filter;
        return openAnswerBytes.isEmpty() ? QFile::encodeName(openAnswer) : openAnswerBytes;
    }

    QString SaveFile(QWidget*, const SaveFileRequest& request, QString* chosenFilter) override
    {
        captions << request.caption;
        saveRequests << request;
        if (chosenFilter)
            *chosenFilter = request.filters.value(saveFilterAnswer >= 0 ? saveFilterAnswer : request.selectedFilter);
        return saveAnswer;
    }

    void Inform(QWidget*, const QString& caption, const QString& text) override
    {
        messages << Message{caption, text};
    }

    QString AskPassword(QWidget*, const QString&, const QString& label) override
    {
        passwordLabels << label;
        return passwordAnswer;
    }
};
