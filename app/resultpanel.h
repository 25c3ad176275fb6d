#pragma once
// The result panel: a record's summary text and the drawing of its outline.
#include <QSize>
#include <QString>
#include <QWidget>

#include "import/record.h"

class QPainter;

// Date, time and results as the panel shows them; distances show only the two lengths.
QString ResultText(const MeasureRecord& record);

// The record's area and perimeter on the WGS-84 ellipsoid, beside the plane figures of the
// text; empty for a record without points.
QString GeodesicToolTip(const MeasureRecord& record);

// Pixels per metre that fit the record's larger extent into an area of that size, less the
// margin. Not finite when the record has no extent.
double DrawScale(QSize area, const MeasureRecord& record);

// Clears the area and draws the outline, the closing line and the start and end markers.
// −1 when there is nothing to draw (no point, or no finite scale), 0 otherwise.
int DrawOutline(QPainter& painter, QSize area, const MeasureRecord& record);

// Drawing area 1000: paints the record of the slot last shown, at every repaint.
class COutlineArea : public QWidget {
    Q_OBJECT
public:
    explicit COutlineArea(QWidget* parent);

    void ShowSlot(int slot);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    int m_slot = 0;
};
