#include "import/ongoingdlg.h"

#include <QApplication>
#include <QEvent>
#include <QPushButton>
#include <QLabel>
#include <QPixmapCache>
#include <QProgressBar>
#include <QWindow>

#include "import/dialogtemplate.h"

namespace {

// The icon at the size the window shows it, decoded and scaled once rather than at every import.
QPixmap IconPixmap()
{
    static const QString key = QStringLiteral("varnel-waiting-icon");
    QPixmap pixmap;
    if (!QPixmapCache::find(key, &pixmap)) {
        pixmap = AppIcon().pixmap(32, 32);
        QPixmapCache::insert(key, pixmap);
    }
    return pixmap;
}

}  // namespace

OnGoingDlg::OnGoingDlg(QWidget* owner)
    : QDialog(owner, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint)
{
    setWindowTitle(QStringLiteral("批量处理"));
    setFont(DialogFont());
    const DialogBaseUnits units = DialogBaseUnitsOf(font());
    // The template's 193 × 63 units, with a row for "取消" below the progress bar.
    setFixedSize(DialogRect(units, 0, 0, 193, 80).size());

    auto* icon = new QLabel(this);
    icon->setPixmap(IconPixmap());
    icon->setGeometry(QRect(DialogRect(units, 20, 18, 0, 0).topLeft(), QSize(32, 32)));

    auto* text = new QLabel(QStringLiteral("您好，数据批量处理中，请稍等，谢谢！"), this);
    text->setObjectName(QStringLiteral("message"));
    text->setGeometry(DialogRect(units, 48, 26, 124, 8));

    m_progress = new QProgressBar(this);
    m_progress->setGeometry(DialogRect(units, 48, 40, 124, 10));

    m_cancel = new QPushButton(QStringLiteral("取消"), this);
    m_cancel->setObjectName(QStringLiteral("cancel"));
    m_cancel->setGeometry(DialogRect(units, 122, 58, 50, 14));
    connect(m_cancel, &QPushButton::clicked, this, &OnGoingDlg::reject);
}

void OnGoingDlg::reject()
{
    // Escape, and "取消" itself: the import stops; the window closes when the import returns.
    m_cancelRequested = true;
    m_cancel->setEnabled(false);
}

bool OnGoingDlg::TakesInput(QObject* watched) const
{
    // Input reaches a widget through its window first: the waiting window's own window handle
    // must let it pass, or nothing within ever sees a click or a key.
    if (auto* window = qobject_cast<QWindow*>(watched)) return window == windowHandle();
    auto* widget = qobject_cast<QWidget*>(watched);
    return widget != nullptr && (widget == this || isAncestorOf(widget));
}

OnGoingDlg::~OnGoingDlg()
{
    if (m_filtering) qApp->removeEventFilter(this);
}

bool OnGoingDlg::eventFilter(QObject* watched, QEvent* event)
{
    switch (event->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::MouseMove:
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
    case QEvent::ShortcutOverride:
    case QEvent::Shortcut:
    case QEvent::Wheel:
    case QEvent::TouchBegin:
    case QEvent::TouchUpdate:
    case QEvent::TouchEnd:
    case QEvent::ContextMenu:
    case QEvent::Drop:
    case QEvent::DragEnter:
    case QEvent::DragMove:
        return !TakesInput(watched);  // only the waiting window takes input during the import
    case QEvent::Close:
        return true;  // no window closes mid-import
    default:
        return false;
    }
}

void OnGoingDlg::Start(int fileCount)
{
    m_progress->setRange(0, fileCount);
    m_progress->setValue(0);
    show();
    m_cancel->setFocus();
    if (!m_filtering) qApp->installEventFilter(this);
    m_filtering = true;
    KeepResponsive();
}

void OnGoingDlg::SetFilesRead(int filesRead)
{
    constexpr qint64 kFrameMs = 16;
    const bool frame = filesRead >= m_progress->maximum() || !m_sinceEvents.isValid() || m_sinceEvents.elapsed() >= kFrameMs;
    // The bar always holds the count, but paints it only once a frame, in the round of events
    // below: it repaints itself at once whenever its text changes, which for a folder of small
    // files cost more than loading them, and enabling its updates again asks for a paint anyway.
    m_progress->setUpdatesEnabled(false);
    m_progress->setValue(filesRead);
    if (frame) KeepResponsive();
}

void OnGoingDlg::KeepResponsive()
{
    m_progress->setUpdatesEnabled(true);  // a round of events paints the count the bar holds
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    m_sinceEvents.start();
}

CSlowReadWait::CSlowReadWait(QWidget* owner) : m_owner(owner)
{
    m_since.start();
}

CSlowReadWait::~CSlowReadWait() = default;

void CSlowReadWait::Waiting()
{
    if (!m_waiting && m_since.elapsed() >= ShowAfterMs) {
        m_waiting = std::make_unique<OnGoingDlg>(m_owner);
        m_waiting->Start(1);
    } else if (m_waiting) {
        m_waiting->KeepResponsive();
    }
}

bool CSlowReadWait::Cancelled()
{
    return m_waiting && m_waiting->CancelRequested();
}
