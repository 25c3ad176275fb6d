#pragma once
// Drawing one measurement on the map page.
#include "import/record.h"

class CExplorer1;
class CScriptBatch;

// The map's zoom range.
inline constexpr int MapMinZoom = 3;
inline constexpr int MapMaxZoom = 19;

// The largest zoom in MapMinZoom…MapMaxZoom at which a square of extent metres around
// latitude (degrees), with a tenth of the view spare on each side, fits a view of
// viewWidth × viewHeight pixels. Zoom z shows 2^(18 − z) metres per pixel at the equator and
// cos(latitude) times that elsewhere. An extent of 0 (all points on one spot) gives the
// largest zoom; an extent, latitude or view that cannot be fitted gives the smallest.
int MapZoomForExtent(double extent, double latitude, int viewWidth, int viewHeight);

// What the map needs to fit a shown record again: its centre in the map datum and its extent.
struct MapFit {
    double centerLat;
    double centerLon;
    double extent;
};

// Adds the call that sets the view on fit for the browser's current size: Map_SetCenter
// (latitude, longitude, zoom), or, with refit, Map_Refit(zoom), which the page applies only
// when the user has not moved the map since.
void AddMapView(CScriptBatch& calls, const MapFit& fit, const CExplorer1& browser, bool refit);

// Resets the page, sends the record's points as a route with start and end markers, and
// centres and zooms the map so that the whole record is in view, all in one script
// evaluation. 0 when the points were sent, −1 when the record has none (the page is only
// reset). When the browser shows no map page, the calls fail in the bridge's trace and the
// map stays as it was. The browser keeps the calls, to fit the record again when it is
// resized and to draw it again when its page is reloaded.
int ShowRecordOnMap(CExplorer1& browser, const MeasureRecord& record);
