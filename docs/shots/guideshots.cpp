// Takes the user's guide's pictures from the real program: the application and its window as
// main() starts them, with the real file dialogs and message boxes. It imports a folder of
// record files through "导入设备...", shows one, opens each command's dialog, and saves each
// view, frame included, as OUT/NAME.png. The exports are written into the home folder. Buttons are found by their texts, dialogs as they open.
// Usage: guide-shots OUT-FOLDER DEVICE-FOLDER    (on an X server with a window manager)
#include <QAbstractButton>
#include <QAbstractItemView>
#include <QAction>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QPointer>
#include <QScreen>
#include <QTableWidget>
#include <QTest>
#include <QTimer>
#include <QWindow>

#include <cstdio>
#include <deque>
#include <functional>
#include <memory>
#include <unistd.h>

#include "app/filepicker.h"
#include "app/varnel.h"
#include "app/varneldlg.h"
#include "map/explorer.h"

namespace {

[[noreturn]] void Fail(const QString& what)
{
    std::fprintf(stderr, "guide-shots: %s\n", qPrintable(what));
    std::fflush(stderr);
    ::_exit(1);  // out of whatever nested dialog loop is running
}

class CShooter : public QObject {
public:
    CShooter(QString outDir, QString device) : m_out(std::move(outDir)), m_device(std::move(device)) {}

    void Start()
    {
        // Whatever step hangs, the run ends (each wait for a dialog gives up after 30 s).
        QTimer::singleShot(240000, this, [] { Fail(QStringLiteral("still running after 4 minutes")); });
        Then(0, [this] { FindWindow(); });
        Then(7000, [this] { Shoot(m_main, "window-empty"); });  // the map has loaded or gone offline
        Click("导入设备...");
        // The device's folder picked among its neighbours, as the user sees it.
        OnDialog("QFileDialog", [this](QWidget* d) {
            auto* dialog = static_cast<QFileDialog*>(d);
            dialog->setDirectory(QFileInfo(m_device).absolutePath());
        }, [this](QWidget* d) {
            ClickEntry(d, QFileInfo(m_device).fileName());
            QTest::qWait(500);
            Shoot(d, "import-device");
            static_cast<QDialog*>(d)->accept();  // public as a QDialog
        });
        WaitIdle();
        Then(1500, [this] { Shoot(m_main, "window-imported"); });
        Then(0, [this] { ShowRow(QStringLiteral("2026-04-11")); });  // the field walked round once
        Then(4000, [this] { Shoot(m_main, "window-shown"); });
        Click("导入文件...");
        OnDialog("CRecordFilePicker", [this](QWidget* d) {
            static_cast<CRecordFilePicker*>(d)->ShowFolder(QFile::encodeName(m_device));
        }, [this](QWidget* d) {
            Shoot(d, "import-file");
            static_cast<QDialog*>(d)->reject();
        });
        WaitIdle();
        Export("导出CAD...", "export-cad", "地块.dxf");
        Export("导出EXCEL...", "export-excel", "地块.csv");
        Export("导出图片...", "export-image", "窗口.png");
        // Queued like a click: the About box runs its own loop inside the menu entry's action.
        Then(500, [this] {
            QTimer::singleShot(0, m_main, [this] {
                for (QAction* action : m_main->actions())
                    if (action->text() == QStringLiteral("关于 Varnel(&A)...")) action->trigger();
            });
        });
        OnDialog("QDialog", [this](QWidget* d) {
            Shoot(d, "about");
            static_cast<QDialog*>(d)->accept();
        });
        WaitIdle();
        Click("退出");
        Next();
    }

private:
    using Step = std::function<void()>;

    // Runs `step` `delayMs` after the step before it has finished.
    void Then(int delayMs, Step step)
    {
        m_steps.push_back([this, delayMs, step] {
            QTimer::singleShot(delayMs, this, [this, step] {
                step();
                Next();
            });
        });
    }

    void Next()
    {
        if (m_steps.empty()) return;
        Step step = m_steps.front();
        m_steps.pop_front();
        step();
    }

    // Clicks the window's button with this text; the click may open a modal dialog, so it is
    // queued and the next step goes on meanwhile.
    void Click(const char* text)
    {
        Then(300, [this, text] {
            for (QAbstractButton* button : m_main->findChildren<QAbstractButton*>())
                if (button->text() == QString::fromUtf8(text)) {
                    QTimer::singleShot(0, button, &QAbstractButton::click);
                    return;
                }
            Fail(QStringLiteral("no button \"%1\"").arg(QString::fromUtf8(text)));
        });
    }

    // Waits for a new modal dialog of this class, hands it to `prepare`, lets it paint, and hands
    // it to `handle`.
    void OnDialog(const char* className, std::function<void(QWidget*)> handle)
    {
        OnDialog(className, [](QWidget*) {}, std::move(handle));
    }

    void OnDialog(const char* className, std::function<void(QWidget*)> prepare, std::function<void(QWidget*)> handle)
    {
        m_steps.push_back([this, className, prepare, handle] {
            Poll(QStringLiteral("a %1").arg(QLatin1String(className)), [this, className]() -> bool {
                QWidget* modal = QApplication::activeModalWidget();
                return modal && modal != m_main && modal != m_last && modal->inherits(className) &&
                       modal->isVisible() && modal->windowHandle() && modal->windowHandle()->isExposed();
            }, [this, prepare, handle] {
                prepare(QApplication::activeModalWidget());
                QTimer::singleShot(1000, this, [this, handle] {
                    QWidget* modal = QApplication::activeModalWidget();
                    if (!modal || modal == m_main) Fail(QStringLiteral("the dialog closed by itself"));
                    m_last = modal;
                    handle(modal);
                    Next();
                });
            });
        });
    }

    // Waits until the window is the only modal one again (a dialog or the waiting window has gone).
    void WaitIdle()
    {
        m_steps.push_back([this] {
            Poll(QStringLiteral("the window to be alone"),
                 [this] { return QApplication::activeModalWidget() == m_main; },
                 [this] { QTimer::singleShot(500, this, [this] { Next(); }); });
        });
    }

    void Poll(const QString& what, std::function<bool()> done, std::function<void()> then)
    {
        auto* timer = new QTimer(this);
        auto waited = std::make_shared<int>(0);
        connect(timer, &QTimer::timeout, this, [=] {
            if (done()) {
                timer->deleteLater();
                timer->stop();
                then();
            } else if ((*waited += 100) > 30000) {
                QWidget* modal = QApplication::activeModalWidget();
                const QRect f = modal ? modal->frameGeometry() : QRect();
                const QRect g = modal ? modal->geometry() : QRect();
                Fail(QStringLiteral("waited 30 s for %1 (%2: frame %3,%4 %5x%6, inside %7,%8 %9x%10)")
                         .arg(what, modal ? QLatin1String(modal->metaObject()->className()) : QLatin1String("none"))
                         .arg(f.x()).arg(f.y()).arg(f.width()).arg(f.height())
                         .arg(g.x()).arg(g.y()).arg(g.width()).arg(g.height()));
            }
        });
        timer->start(100);
    }

    // A save dialog filled with a scratch file name, then its confirmation.
    void Export(const char* button, const char* shot, const char* fileName)
    {
        Click(button);
        OnDialog("QFileDialog", [this, shot, fileName](QWidget* d) {
            Shoot(d, shot);
            auto* dialog = static_cast<QFileDialog*>(d);
            dialog->selectFile(QDir::home().filePath(QString::fromUtf8(fileName)));
            static_cast<QDialog*>(dialog)->accept();  // public as a QDialog
        });
        OnDialog("QMessageBox", [this, shot](QWidget* d) {
            Shoot(d, QByteArray(shot) + "-done");
            static_cast<QMessageBox*>(d)->accept();
        });
        WaitIdle();
    }

    // Clicks the entry of this name in a file dialog's list, as the user picks a folder.
    void ClickEntry(QWidget* dialog, const QString& name)
    {
        for (QAbstractItemView* view : dialog->findChildren<QAbstractItemView*>()) {
            if (!view->isVisible() || !view->model()) continue;
            const QAbstractItemModel* model = view->model();
            for (int row = 0; row < model->rowCount(view->rootIndex()); ++row) {
                const QModelIndex index = model->index(row, 0, view->rootIndex());
                if (index.data().toString() != name) continue;
                QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, view->visualRect(index).center());
                return;
            }
        }
        Fail(QStringLiteral("the file dialog lists no \"%1\"").arg(name));
    }

    void FindWindow()
    {
        for (QWidget* w : QApplication::topLevelWidgets())
            if (auto* dlg = qobject_cast<CVarnelDlg*>(w); dlg && dlg->isVisible()) m_main = dlg;
        if (!m_main) Fail(QStringLiteral("the window is not shown"));
    }

    // Double-clicks the list's row whose time begins so.
    void ShowRow(const QString& time)
    {
        auto* list = m_main->findChild<QTableWidget*>();
        int row = 0;
        while (list && row < list->rowCount() && !list->item(row, 0)->text().startsWith(time)) ++row;
        if (!list || row == list->rowCount()) Fail(QStringLiteral("the list has no row of %1").arg(time));
        const QRect rect = list->visualItemRect(list->item(row, 0));
        // What a mouse sends for a double-click.
        QWidget* viewport = list->viewport();
        QTest::mousePress(viewport, Qt::LeftButton, {}, rect.center());
        QTest::mouseRelease(viewport, Qt::LeftButton, {}, rect.center());
        QTest::mouseDClick(viewport, Qt::LeftButton, {}, rect.center());
        QTest::mouseRelease(viewport, Qt::LeftButton, {}, rect.center());
    }

    // The widget as it is on the screen, with its window frame.
    void Shoot(QWidget* widget, const QByteArray& name)
    {
        // Qt learns a dialog's frame from the window manager only some time after it is shown;
        // until then the main window's frame, drawn alike, stands in for it.
        QRect frame = widget->frameGeometry();
        if (frame.width() <= widget->width())
            frame = widget->geometry().marginsAdded(m_main->windowHandle()->frameMargins());
        QScreen* screen = widget->screen();
        const QRect area = frame.translated(-screen->geometry().topLeft());
        const QPixmap picture = screen->grabWindow(0, area.x(), area.y(), area.width(), area.height());
        const QString path = QDir(m_out).filePath(QString::fromLatin1(name) + QStringLiteral(".png"));
        if (picture.isNull() || !picture.save(path, "PNG")) Fail(QStringLiteral("cannot save %1").arg(path));
        std::printf("%s\n", qPrintable(path));
        std::fflush(stdout);
    }

    QString m_out;
    QString m_device;  // the folder imported as the instrument's drive
    CVarnelDlg* m_main = nullptr;
    QPointer<QWidget> m_last;
    std::deque<Step> m_steps;
};

}  // namespace

int main(int argc, char** argv)
{
    InitMapBrowser();
    CVarnelApp app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() != 3) {
        std::fprintf(stderr, "usage: guide-shots OUT-FOLDER DEVICE-FOLDER\n");
        return 2;
    }
    if (!QDir().mkpath(args[1])) Fail(QStringLiteral("cannot create %1").arg(args[1]));
    CShooter shooter(QDir(args[1]).absolutePath(), QDir(args[2]).absolutePath());
    QTimer::singleShot(0, &shooter, [&shooter] { shooter.Start(); });
    return app.Run();
}
