#include "export/imageexport.h"

#include <QBuffer>
#include <QDeadlineTimer>
#include <QCoreApplication>
#include <QWindow>
#include <QFile>
#include <QImageWriter>
#include <QScreen>
#include <QWidget>

#include <gif_lib.h>

#include <cstring>
#include <memory>

#include "export/safe_file.h"

namespace {

// An encoder and the file-name patterns it declares, separated by ';'.
struct ImageEncoder {
    const char* patterns;
    // Encodes image with the format's defaults into *out. 0, or −1 with the reason in *reason.
    int (*encode)(const QImage& image, QByteArray* out, QString* reason);
};

int Fail(QString* reason, const QString& text)
{
    if (reason) *reason = text;
    return -1;
}

// From the last dot of the last component on ("a/b.tar.GZ" → ".GZ"); empty without a dot.
QStringView ExtensionOf(QStringView path)
{
    const QStringView name = path.mid(path.lastIndexOf(u'/') + 1);
    const qsizetype dot = name.lastIndexOf(u'.');
    return dot < 0 ? QStringView() : name.mid(dot);
}

int EncodeWithQt(const QImage& image, const char* format, QByteArray* out, QString* reason)
{
    QBuffer buffer(out);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, format);
    if (!writer.write(image)) return Fail(reason, writer.errorString());
    return 0;
}

int AppendToBuffer(GifFileType* gif, const GifByteType* data, int size)
{
    static_cast<QByteArray*>(gif->UserData)->append(reinterpret_cast<const char*>(data), size);
    return size;
}

struct GifCloser {
    void operator()(GifFileType* gif) const { EGifCloseFile(gif, nullptr); }
};

struct MapFreer {
    void operator()(ColorMapObject* map) const { GifFreeMapObject(map); }
};

// GIF stores its sizes in 16 bits.
constexpr int GifMaxSide = 65535;

int EncodeGif(const QImage& image, QByteArray* out, QString* reason)
{
    if (image.isNull()) return Fail(reason, QStringLiteral("图像为空"));
    if (image.width() > GifMaxSide || image.height() > GifMaxSide)
        return Fail(reason, QStringLiteral("图像超出 GIF 的最大尺寸"));
    // Qt's own palette and dithering; giflib masks every index in place, so the lines it gets
    // must be this image's own.
    QImage indexed = image.convertToFormat(QImage::Format_Indexed8);
    const QList<QRgb> colours = indexed.colorTable();
    int mapSize = 2;  // giflib takes only powers of two
    while (mapSize < colours.size()) mapSize *= 2;
    std::unique_ptr<ColorMapObject, MapFreer> map(GifMakeMapObject(mapSize, nullptr));
    if (!map) return Fail(reason, QString::fromUtf8(GifErrorString(E_GIF_ERR_NOT_ENOUGH_MEM)));
    for (qsizetype i = 0; i < colours.size(); ++i)
        map->Colors[i] = {GifByteType(qRed(colours[i])), GifByteType(qGreen(colours[i])), GifByteType(qBlue(colours[i]))};

    int error = 0;
    std::unique_ptr<GifFileType, GifCloser> gif(EGifOpen(out, AppendToBuffer, &error));
    if (!gif) return Fail(reason, QString::fromUtf8(GifErrorString(error)));
    bool written = EGifPutScreenDesc(gif.get(), indexed.width(), indexed.height(), 8, 0, map.get()) == GIF_OK &&
                   EGifPutImageDesc(gif.get(), 0, 0, indexed.width(), indexed.height(), false, nullptr) == GIF_OK;
    for (int y = 0; written && y < indexed.height(); ++y)
        written = EGifPutLine(gif.get(), indexed.scanLine(y), indexed.width()) == GIF_OK;
    if (!written) return Fail(reason, QString::fromUtf8(GifErrorString(gif->Error)));
    if (EGifCloseFile(gif.release(), &error) != GIF_OK) return Fail(reason, QString::fromUtf8(GifErrorString(error)));
    return 0;
}

constexpr ImageEncoder kEncoders[] = {
    {"*.jpg;*.jpeg;*.jpe;*.jfif",
     [](const QImage& image, QByteArray* out, QString* reason) { return EncodeWithQt(image, "jpeg", out, reason); }},
    {"*.bmp;*.dib;*.rle",
     [](const QImage& image, QByteArray* out, QString* reason) { return EncodeWithQt(image, "bmp", out, reason); }},
    {"*.png",
     [](const QImage& image, QByteArray* out, QString* reason) { return EncodeWithQt(image, "png", out, reason); }},
    {"*.gif", EncodeGif},
};

// The first encoder in the table whose patterns declare the extension of path, or nullptr.
const ImageEncoder* ImageEncoderFor(const QString& path)
{
    const QStringView extension = ExtensionOf(path);
    if (extension.isEmpty()) return nullptr;
    for (const ImageEncoder& encoder : kEncoders) {
        const QString patterns = QString::fromLatin1(encoder.patterns);
        for (QStringView pattern : QStringView(patterns).split(u';'))
            if (ExtensionOf(pattern).compare(extension, Qt::CaseInsensitive) == 0) return &encoder;
    }
    return nullptr;
}

}  // namespace

int WriteImageFile(const QImage& image, const QString& path, QString* reason)
{
    const ImageEncoder* encoder = ImageEncoderFor(path);
    if (!encoder) {
        const QStringView extension = ExtensionOf(path);
        return Fail(reason, extension.isEmpty() ? QStringLiteral("文件名没有扩展名，无法确定图片格式")
                                                : QStringLiteral("不支持扩展名为“%1”的图片格式").arg(extension));
    }
    QByteArray bytes;
    if (encoder->encode(image, &bytes, reason) != 0) return -1;

    int error = 0;
    if (WriteWholeFile(QFile::encodeName(path).constData(), bytes.constData(), size_t(bytes.size()), &error) != 0)
        return Fail(reason, QString::fromLocal8Bit(ExportErrorText(error)));
    return 0;
}

QImage GrabWindowPicture(QWidget& window)
{
    // Offsets from the window's own origin reach its frame, which a window manager puts outside it.
    const QRect frame = window.frameGeometry();
    const QPoint offset = frame.topLeft() - window.geometry().topLeft();
    return window.screen()
        ->grabWindow(window.winId(), offset.x(), offset.y(), frame.width(), frame.height())
        .toImage();
}

bool IsBlankPicture(const QImage& image)
{
    if (image.isNull()) return true;
    const QImage pixels = image.convertToFormat(QImage::Format_RGB32);
    const QRgb first = pixels.pixel(0, 0);
    for (int y = 0; y < pixels.height(); ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(pixels.constScanLine(y));
        for (int x = 0; x < pixels.width(); ++x)
            if (line[x] != first) return false;
    }
    return true;
}

int CaptureWindowPicture(QWidget& window, QImage& picture, QString* reason)
{
    const bool wasGone = window.isMinimized() || !window.isVisible();
    if (wasGone) window.showNormal();
    window.raise();
    window.activateWindow();
    // Shown again, the window needs a moment to be mapped by the window manager and painted;
    // input stays excluded meanwhile.
    const auto shown = [&] { return !window.isMinimized() && window.windowHandle() && window.windowHandle()->isExposed(); };
    const QDeadlineTimer deadline(3000);
    while (!deadline.hasExpired() && !shown()) QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents, 20);
    if (!shown())
        return Fail(reason, QStringLiteral("窗口未显示在屏幕上，无法截取图片"));
    window.repaint();
    picture = GrabWindowPicture(window);
    // A window brought back is pictured once it is painted again: when two grabs a little apart
    // agree and are not blank (the screen keeps a restored window black or stale until then).
    if (wasGone) {
        QImage previous;
        while (!deadline.hasExpired() && (IsBlankPicture(picture) || picture != previous)) {
            previous = picture;
            const QDeadlineTimer settle(100);
            while (!settle.hasExpired()) QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents, 20);
            picture = GrabWindowPicture(window);
        }
    }
    if (IsBlankPicture(picture)) return Fail(reason, QStringLiteral("截取的画面是空白的，不是窗口的图片"));
    return 0;
}
