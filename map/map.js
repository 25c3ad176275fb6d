// The map page's functions that the program calls (Map_*), and the making of the map.
var FilePonits = new Array();
var GPSPointCnt = 0;
var PassFilePonits = new Array();
var RoutePolyline = null;
var SMarker = null;
var EMarker = null;
var RTRunMaker = null;
var PassRoutePolyline = null;
var FrstUse = 1;
var gpsPoint = null;
var BDMap = null;

// The view the program fitted to the shown record (null while none is shown), the zoom the
// map showed for it, and whether the user has zoomed or dragged away from it since.
var ShownView = null;
var ShownZoom = null;
var ViewMoved = false;
var SettingView = false;

// Marker pictures: start yellow "起" and end green "终" as in the outline drawing, and the
// pin of a map click. Sizes and tips (anchors) in pixels. The start's pin leans left of its
// spot, the end's stands upright on it, so that both are seen where a field closes.
var MarkerIcons = {
    start: { url: "markers/start.svg", width: 40, height: 38, tipX: 39, tipY: 37 },
    end: { url: "markers/end.svg", width: 28, height: 38, tipX: 14, tipY: 37 },
    click: { url: "markers/click.svg", width: 20, height: 28, tipX: 10, tipY: 27 }
};
var StartIcon = null;
var EndIcon = null;
var ClickIcon = null;

// A click label's look, and its place beside the pin: offsets from the pin picture's top
// left corner, kept this far inside the map's edges.
var LabelStyle = { color: "#000", backgroundColor: "#fff", border: "1px solid #d03030", padding: "1px 4px",
    fontSize: "12px", lineHeight: "16px", fontFamily: "sans-serif", whiteSpace: "nowrap" };
var LabelOffsetX = 9;
var LabelOffsetY = -15;
var LabelEdge = 4;

function Map_Init() {
    GPSPointCnt = 0;
    FrstUse = 0;
    FilePonits = new Array();
    PassFilePonits = new Array();
    BDMap.clearOverlays();
    BDMap.centerAndZoom(gpsPoint, 3);
}

function Map_PopPoints(m_latitude, m_longitude) {
    FilePonits[GPSPointCnt] = new BMap.Point(parseFloat(m_longitude), parseFloat(m_latitude));
    GPSPointCnt++;
}

function Map_Stack2PolyLine() {
    RoutePolyline = new BMap.Polyline(FilePonits, { strokeColor: "blue", strokeWeight: 6, strokeOpacity: 0.5 });
    BDMap.addOverlay(RoutePolyline);
    if (GPSPointCnt < 1) {
        return;
    }
    var first = FilePonits[0];
    var last = FilePonits[GPSPointCnt - 1];
    BDMap.centerAndZoom(first, 15);
    // As in the outline drawing, the start is drawn above the end: on a closed field the two
    // share a spot, and the start's leaning pin stands beside the end's.
    EMarker = new BMap.Marker(last, { icon: EndIcon });
    BDMap.addOverlay(EMarker);
    SMarker = new BMap.Marker(first, { icon: StartIcon });
    BDMap.addOverlay(SMarker);
    SMarker.setTop(true);
}

function Map_SetCenter(m_latitude, m_longitude, m_zoom) {
    ShownView = { point: new BMap.Point(parseFloat(m_longitude), parseFloat(m_latitude)), zoom: parseInt(m_zoom, 10) };
    ShowShownView();
    document.getElementById("MapHome").style.display = "block";
}

// The program's fit of the shown record for a new size of the map: taken as the record's
// view, and shown unless the user has moved away from it.
function Map_Refit(m_zoom) {
    if (!ShownView) {
        return;
    }
    ShownView.zoom = parseInt(m_zoom, 10);
    if (!ViewMoved) {
        ShowShownView();
    }
}

// Back to the shown record's view.
function Map_Recenter() {
    if (ShownView) {
        ShowShownView();
    }
}

function Map_ZoomBy(steps) {
    var n = parseInt(steps, 10);
    for (var i = 0; i < n; i++) {
        BDMap.zoomIn();
    }
    for (var k = 0; k > n; k--) {
        BDMap.zoomOut();
    }
}

function ShowShownView() {
    SettingView = true;
    try {
        BDMap.centerAndZoom(ShownView.point, ShownView.zoom);
    } finally {
        SettingView = false;
    }
    ShownZoom = BDMap.getZoom();
    ViewMoved = false;
}

function Map_RST(isCar) {
    if (FrstUse == 1) {
        Map_Init();
    }
    if (SMarker) {
        BDMap.removeOverlay(SMarker);
    }
    if (EMarker) {
        BDMap.removeOverlay(EMarker);
    }
    if (RoutePolyline) {
        BDMap.removeOverlay(RoutePolyline);
    }
    GPSPointCnt = 0;
    FilePonits = new Array();
    BDMap.clearOverlays();
    ShownView = null;
    document.getElementById("MapHome").style.display = "none";
}

function Map_Goto(i) {
    if (i > GPSPointCnt - 1) {
        i = GPSPointCnt - 1;
    }
    if (i > 0) {
        BDMap.removeOverlay(RTRunMaker);
    }
    RTRunMaker = new BMap.Marker(FilePonits[i]);
    BDMap.addOverlay(RTRunMaker);
    PassFilePonits = new Array();
    for (var k = 0; k < i; k++) {
        PassFilePonits[k] = FilePonits[k];
    }
    if (i > 0) {
        BDMap.removeOverlay(PassRoutePolyline);
    }
    PassRoutePolyline = new BMap.Polyline(PassFilePonits, { strokeColor: "red", strokeWeight: 6, strokeOpacity: 1 });
    BDMap.addOverlay(PassRoutePolyline);
    BDMap.setCenter(FilePonits[i]);
}

// Where the shown record lies ("河南省 郑州市 附近 6.4 公里"), or "" for nothing; shown as text.
function Map_SetPlace(text) {
    document.getElementById("PlaceNote").textContent = text;
}

// Offers an offline map package, served as mbtiles://package/<id>/..., in the offline map's
// layer switch, and shows it when select is "1". bounds: "west,south,east,north" or "".
function Map_AddTilePackage(id, name, datum, minZoom, maxZoom, bounds, select) {
    if (!BMap.offline) {
        return false;
    }
    var edges = bounds ? bounds.split(",").map(parseFloat) : null;
    return OfflineLayers.addPackage(id, name, datum, parseInt(minZoom, 10), parseInt(maxZoom, 10),
        edges && edges.length === 4 ? edges : null, select === "1");
}

// A click pin's text names its datum: the online map's positions are BD-09; the offline map
// shows WGS-84, as its readout does, whatever the datum of the package drawn beneath.
function ClickPointText(point) {
    var datum = "BD-09";
    var lng = point.lng, lat = point.lat;
    if (BMap.offline) {
        var wgs = MapDatum.fromBd({ lat: lat, lon: lng }, "wgs84");
        datum = "WGS-84";
        lng = wgs.lon;
        lat = wgs.lat;
    }
    return "当前经纬度 (" + datum + "): (" + lng.toFixed(6) + ", " + lat.toFixed(6) + ")";
}

function MakeIcon(icon) {
    return new BMap.Icon(icon.url, new BMap.Size(icon.width, icon.height), { anchor: new BMap.Size(icon.tipX, icon.tipY) });
}

// The label's size as the map will show it, measured in the page with the label's style.
function LabelSize(text) {
    var probe = document.createElement("span");
    for (var name in LabelStyle) {
        probe.style[name] = LabelStyle[name];
    }
    probe.style.position = "absolute";
    probe.style.visibility = "hidden";
    probe.textContent = text;
    document.body.appendChild(probe);
    var size = { width: probe.offsetWidth, height: probe.offsetHeight };
    document.body.removeChild(probe);
    return size;
}

// Where a click label goes: right of and above the pin, flipped to the left near the right
// edge and below the pin near the top, and kept inside the map.
function LabelOffset(text, pixel) {
    var dx = LabelOffsetX;
    var dy = LabelOffsetY;
    if (!pixel) {
        return new BMap.Size(dx, dy);
    }
    var view = document.getElementById("BDMap");
    var width = view.clientWidth;
    var height = view.clientHeight;
    var size = LabelSize(text);
    var pin = MarkerIcons.click;
    var left = pixel.x - pin.tipX;
    var top = pixel.y - pin.tipY;
    if (left + dx + size.width > width - LabelEdge) {
        dx = pin.width - LabelOffsetX - size.width;
    }
    if (top + dy < LabelEdge) {
        dy = pin.tipY + 2;
    }
    dx = Math.max(LabelEdge - left, Math.min(dx, width - LabelEdge - size.width - left));
    dy = Math.max(LabelEdge - top, Math.min(dy, height - LabelEdge - size.height - top));
    return new BMap.Size(dx, dy);
}

function NoteUserMove() {
    if (!SettingView) {
        ViewMoved = true;
    }
}

// The map is made once, with the online API when it arrived and with the offline map
// otherwise, or when the online API has not answered within a few seconds.
var mapStarted = false;

function MapStart(online) {
    if (mapStarted) {
        return;
    }
    mapStarted = true;
    clearTimeout(onlineTimeout);
    if (!online) {
        UseOfflineMap();
    }
    StartIcon = MakeIcon(MarkerIcons.start);
    EndIcon = MakeIcon(MarkerIcons.end);
    ClickIcon = MakeIcon(MarkerIcons.click);
    gpsPoint = new BMap.Point(85, 35);
    BDMap = new BMap.Map("BDMap");
    window.BDMap = BDMap;
    BDMap.centerAndZoom(gpsPoint, 3);
    BDMap.enableDragging();
    BDMap.enableScrollWheelZoom();
    BDMap.enableDoubleClickZoom();
    BDMap.enableKeyboard();
    BDMap.addControl(new BMap.NavigationControl({ anchor: BMAP_ANCHOR_TOP_LEFT, type: BMAP_NAVIGATION_CONTROL_LARGE }));
    BDMap.addControl(new BMap.MapTypeControl());
    BDMap.addEventListener("click", function (e) {
        var marker = new BMap.Marker(e.point, { icon: ClickIcon });
        BDMap.addOverlay(marker);
        var text = ClickPointText(e.point);
        var label = new BMap.Label(text, { offset: LabelOffset(text, e.pixel) });
        label.setStyle(LabelStyle);
        marker.setLabel(label);
    });
    BDMap.addControl(new BMap.ScaleControl({ anchor: BMAP_ANCHOR_BOTTOM_LEFT }));
    // The user moving the map: dragging, and zooming by wheel, buttons or keys (the map's own
    // zooms are told apart by SettingView and by the zoom they end at).
    BDMap.addEventListener("dragstart", NoteUserMove);
    BDMap.addEventListener("zoomend", function () {
        if (ShownView && BDMap.getZoom() !== ShownZoom) {
            NoteUserMove();
        }
    });
    var surface = document.getElementById("BDMap");
    surface.addEventListener("wheel", NoteUserMove, true);
    surface.addEventListener("keydown", function (e) {
        if (/^(Arrow|Page|Home$|End$)/.test(e.key)) {
            NoteUserMove();
        }
    }, true);
    document.getElementById("MapHome").addEventListener("click", Map_Recenter);
    FrstUse = 1;
    GPSPointCnt = 0;
    // Tells the program that the Map_ functions can be called now.
    console.info("varnel:map-ready");
}

var onlineTimeout = setTimeout(function () { MapStart(false); }, 4000);
