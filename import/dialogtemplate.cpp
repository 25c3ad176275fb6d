#include "import/dialogtemplate.h"

#include <QApplication>
#include <QFontMetrics>

namespace {

int Scale(int units, int base, int per)
{
    return (units * base + per / 2) / per;
}

}  // namespace

QFont DialogFont()
{
    QFont font = QApplication::font();
    font.setPointSize(9);
    return font;
}

DialogBaseUnits DialogBaseUnitsOf(const QFont& font)
{
    const QFontMetrics metrics(font);
    const int alphabet =
        metrics.horizontalAdvance(QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
    return {(alphabet / 26 + 1) / 2, metrics.height()};
}

QRect DialogRect(DialogBaseUnits units, int x, int y, int width, int height)
{
    return QRect(Scale(x, units.x, 4), Scale(y, units.y, 8), Scale(width, units.x, 4),
                 Scale(height, units.y, 8));
}

QIcon AppIcon()
{
    // The resources live in a static library, so they are registered by hand once.
    static const int registered = [] {
        Q_INIT_RESOURCE(varnel);
        return 0;
    }();
    (void)registered;
    return QIcon(QStringLiteral(":/varnel.png"));
}
