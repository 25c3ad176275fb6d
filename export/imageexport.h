#pragma once
// The picture of the main window: its capture from the screen, and its encoders, chosen by the
// extension of the file name.
#include <QImage>
#include <QString>

class QWidget;

// An encoder and the file-name patterns it declares.
struct ImageEncoder {
    const char* name;      // "JPEG"
    const char* patterns;  // "*.jpg;*.jpeg", separated by ';'
    // Encodes image with the format's defaults into *out. 0, or −1 with the reason in *reason.
    int (*encode)(const QImage& image, QByteArray* out, QString* reason);
};

// The first encoder, in the order JPEG, BMP, PNG, GIF, one of whose patterns has the extension
// of the last component of path (from its last dot on), compared without regard to case;
// nullptr when none has.
const ImageEncoder* ImageEncoderFor(const QString& path);

// Writes image to path in the format its extension chooses, with the encoder's defaults; the
// file is replaced only when complete. 0; or −1 with the reason in *reason when given (no
// encoder for the extension, the encoder's failure, or the system's error), the path untouched.
int WriteImageFile(const QImage& image, const QString& path, QString* reason = nullptr);

// What the screen shows of window, frame and title bar included, in the screen's pixels.
QImage GrabWindowPicture(QWidget& window);
