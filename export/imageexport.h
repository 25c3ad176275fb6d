#pragma once
// The picture of the main window: its capture from the screen, and its encoders, chosen by the
// extension of the file name.
#include <QImage>
#include <QString>

class QWidget;

// Writes image to path with the encoder chosen by the extension of the path's last component
// (from its last dot on), compared without regard to case with each encoder's patterns: JPEG
// *.jpg;*.jpeg;*.jpe;*.jfif, BMP *.bmp;*.dib;*.rle, PNG *.png, GIF *.gif. Each writes with its
// defaults (GIF from Qt's 8-bit palette image). The file is replaced only when complete.
// 0; or −1 with the reason in *reason when given (no encoder for the extension, the encoder's
// failure, or the system's error), the path untouched.
int WriteImageFile(const QImage& image, const QString& path, QString* reason = nullptr);

// What the screen shows of window, frame and title bar included, in the screen's pixels.
QImage GrabWindowPicture(QWidget& window);

// True when image is empty or of one colour throughout: what a grab of a window that is not on
// screen gives, never a picture of the window.
bool IsBlankPicture(const QImage& image);

// The picture of window as the user sees it: a minimised or hidden window is first restored and
// raised, and given up to a second to be shown. 0 with the picture, or −1 with the reason when
// the window could not be shown or the grab is blank.
int CaptureWindowPicture(QWidget& window, QImage& picture, QString* reason = nullptr);
