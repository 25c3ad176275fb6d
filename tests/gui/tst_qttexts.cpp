// Qt's own texts are Chinese: the folder chooser, the file dialogs, the message box and the
// browser, whatever the system's locale; the file dialogs start where the last one ended.
#include <QAbstractButton>
#include <QComboBox>
#include <QFileDialog>
#include <QHeaderView>
#include <QLabel>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTimer>
#include <QWebEnginePage>
#include <QtTest>

#include <functional>

#include "app/filepicker.h"
#include "app/userdialogs.h"
#include "tests/support/windowtestmain.h"

namespace {

struct Seen {
    QStringList texts;        // of buttons, labels and column heads
    QStringList fileTypes;    // the file-type choices, in order
    QString folder;           // where a file dialog started
};

// Runs `open`, reads the modal dialog it shows, then answers it with `answer`.
Seen ReadDialog(const std::function<void()>& open, const std::function<void(QDialog*)>& answer)
{
    Seen seen;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        if (!dialog || !dialog->isVisible()) return;
        poll.stop();
        for (const QAbstractButton* b : dialog->findChildren<QAbstractButton*>())
            if (b->isVisible() && !b->text().isEmpty()) seen.texts << b->text();
        for (const QLabel* l : dialog->findChildren<QLabel*>())
            if (l->isVisible() && !l->text().isEmpty()) seen.texts << l->text();
        for (const QHeaderView* h : dialog->findChildren<QHeaderView*>())
            for (int i = 0; h->isVisible() && i < h->count(); ++i)
                if (!h->isSectionHidden(i)) seen.texts << h->model()->headerData(i, h->orientation()).toString();
        if (auto* picker = qobject_cast<CRecordFilePicker*>(dialog)) {
            seen.folder = DisplayName(picker->CurrentFolder());
            if (auto* types = picker->findChild<QComboBox*>(QStringLiteral("fileType")))
                for (int i = 0; i < types->count(); ++i) seen.fileTypes << types->itemText(i);
        }
        if (auto* files = qobject_cast<QFileDialog*>(dialog)) {
            seen.folder = files->directory().absolutePath();
            if (auto* types = files->findChild<QComboBox*>(QStringLiteral("fileTypeCombo")))
                for (int i = 0; i < types->count(); ++i) seen.fileTypes << types->itemText(i);
        }
        answer(dialog);
    });
    poll.start(20);
    open();
    return seen;
}

// Words in Latin letters, other than the file patterns the program gives ("(*.dxf)").
QStringList EnglishWords(const QStringList& texts)
{
    static const QRegularExpression pattern(QStringLiteral(R"(\(\*[^)]*\))"));
    static const QRegularExpression word(QStringLiteral("[A-Za-z]{2,}"));
    QStringList words;
    for (QString text : texts) {
        text.remove(pattern);
        for (const QRegularExpressionMatch& m : word.globalMatch(text)) words << m.captured();
    }
    return words;
}

void Reject(QDialog* dialog)
{
    dialog->reject();
}

}  // namespace

class TestQtTexts : public QObject {
    Q_OBJECT

private slots:
    void dialogsSpeakChineseAndStartInTheLastFolder()
    {
        QTemporaryDir dir;
        const QString chosen = QDir(dir.path()).absolutePath();
        CQtUserDialogs dialogs;
        QString folder;
        Seen seen = ReadDialog([&] { folder = dialogs.ChooseFolder(nullptr, QStringLiteral("请选择要导入的设备：")); },
                               [&](QDialog* d) {
                                   static_cast<QFileDialog*>(d)->setDirectory(chosen);
                                   d->accept();
                               });
        QCOMPARE(folder, chosen);
        QVERIFY2(!seen.texts.isEmpty(), "the folder chooser was not read");
        QVERIFY2(EnglishWords(seen.texts).isEmpty(), qPrintable(EnglishWords(seen.texts).join(' ')));

        const QString filters = QStringLiteral("测量记录文件 (*.nmea*);;所有文件 (*)");
        seen = ReadDialog([&] { dialogs.OpenFile(nullptr, QStringLiteral("打开"), filters); }, Reject);
        QCOMPARE(seen.folder, chosen);
        QCOMPARE(seen.fileTypes, filters.split(QStringLiteral(";;")));
        QVERIFY2(seen.texts.size() > 4, "the file dialog was not read");
        QVERIFY2(EnglishWords(seen.texts).isEmpty(), qPrintable(EnglishWords(seen.texts).join(' ')));

        seen = ReadDialog(
            [&] {
                dialogs.SaveFile(nullptr, {QStringLiteral("另存为"), QStringLiteral("工程制图"), QStringLiteral("dxf"),
                                           {QStringLiteral("(*.dxf)")}, 0},
                                 nullptr);
            },
            Reject);
        QCOMPARE(seen.folder, chosen);
        QVERIFY2(EnglishWords(seen.texts).isEmpty(), qPrintable(EnglishWords(seen.texts).join(' ')));

        seen = ReadDialog([&] { dialogs.Inform(nullptr, QStringLiteral("温馨提示："), QStringLiteral("请先导入测量记录。")); },
                          [](QDialog* d) { d->accept(); });
        QVERIFY(seen.texts.contains(QStringLiteral("确定")));
        QVERIFY2(EnglishWords(seen.texts).isEmpty(), qPrintable(EnglishWords(seen.texts).join(' ')));
    }

    // The browser takes its language from the program, not from the system.
    void browserSpeaksChinese()
    {
        QWebEnginePage page;
        QSignalSpy loaded(&page, &QWebEnginePage::loadFinished);
        page.setHtml(QStringLiteral("<p>x</p>"));
        QVERIFY(loaded.wait(10000));
        QString language;
        page.runJavaScript(QStringLiteral("navigator.language"), [&](const QVariant& v) { language = v.toString(); });
        QTRY_VERIFY(!language.isEmpty());
        QVERIFY2(language.startsWith(QLatin1String("zh")), qPrintable(language));
    }
};

VARNEL_WINDOW_TEST_MAIN(TestQtTexts)
#include "tst_qttexts.moc"
