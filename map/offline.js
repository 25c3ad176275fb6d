// The part of the online map API that the map page uses, drawn by Leaflet without tiles.
// The page installs it as BMap when the online API cannot be loaded, so that a user without
// network still sees the measurement: its route, markers, centre and zoom, a scale bar and
// the click markers, with a note that this is the offline map.
var UseOfflineMap = (function () {
    "use strict";

    // The online API's zoom range; a larger zoom is shown as its largest, as online.
    var MinZoom = 1;
    var MaxZoom = 19;

    var Anchors = ["topleft", "topright", "bottomleft", "bottomright"];

    // Online, zoom z shows 2^(18 − z) metres per pixel at the equator; Leaflet's Web Mercator
    // shows 156543.03 / 2^z. Shifting Leaflet's scale by their ratio makes a zoom show the same
    // ground in both maps.
    var ZoomShift = Math.log(156543.03392804097 / 262144) / Math.LN2;
    var Crs = L.extend({}, L.CRS.EPSG3857, {
        scale: function (zoom) { return 256 * Math.pow(2, zoom + ZoomShift); },
        zoom: function (scale) { return Math.log(scale / 256) / Math.LN2 - ZoomShift; }
    });

    function Point(lng, lat) {
        this.lng = parseFloat(lng);
        this.lat = parseFloat(lat);
    }
    Point.prototype.equals = function (other) {
        return !!other && this.lng === other.lng && this.lat === other.lat;
    };

    function Size(width, height) {
        this.width = Number(width);
        this.height = Number(height);
    }

    function latLngOf(point) {
        return L.latLng(point.lat, point.lng);
    }

    function pointOf(latLng) {
        return new Point(latLng.lng, latLng.lat);
    }

    function positionOf(options, fallback) {
        var anchor = options && options.anchor;
        return Anchors[anchor] || Anchors[fallback];
    }

    function Icon(url, size, options) {
        this.imageUrl = String(url);
        this.size = size;
        this.anchor = (options && options.anchor) || new Size(size.width / 2, size.height / 2);
    }

    // Leaflet's own marker picture for markers made without an icon, as the online API has its own.
    var DefaultIcon = new Icon("", new Size(25, 41), { anchor: new Size(12, 41) });

    function leafletIcon(icon) {
        return icon === DefaultIcon ? new L.Icon.Default() : L.icon({
            iconUrl: icon.imageUrl,
            iconSize: [icon.size.width, icon.size.height],
            iconAnchor: [icon.anchor.width, icon.anchor.height]
        });
    }

    // Labels show their text as text, never as markup.
    function Label(content, options) {
        this._content = String(content);
        this._offset = (options && options.offset) || new Size(0, 0);
        this._style = {};
    }
    Label.prototype.getContent = function () { return this._content; };
    Label.prototype.getOffset = function () { return this._offset; };
    Label.prototype.setStyle = function (style) {
        for (var name in style) {
            this._style[name] = style[name];
        }
    };

    // Overlays hold their Leaflet layer; the map adds and removes it. A marker's layer holds
    // its picture and, once it has one, its label, whose top left corner sits at the label's
    // offset from the picture's top left corner, as online.
    function Marker(point, options) {
        this._point = point;
        this._label = null;
        this._labelLayer = null;
        this._icon = (options && options.icon) || DefaultIcon;
        this._pin = L.marker(latLngOf(point), { icon: leafletIcon(this._icon) });
        this._layer = L.layerGroup([this._pin]);
    }
    Marker.prototype.getPosition = function () { return this._point; };
    Marker.prototype.getIcon = function () { return this._icon; };
    Marker.prototype.getLabel = function () { return this._label; };
    Marker.prototype.setTop = function (isTop) { this._pin.setZIndexOffset(isTop ? 100000 : 0); };
    Marker.prototype.setLabel = function (label) {
        var text = document.createElement("span");
        text.className = "map-label";
        text.textContent = label.getContent();
        for (var name in label._style) {
            text.style[name] = label._style[name];
        }
        if (this._labelLayer) {
            this._layer.removeLayer(this._labelLayer);
        }
        this._label = label;
        this._labelLayer = L.marker(latLngOf(this._point), {
            interactive: false,
            keyboard: false,
            zIndexOffset: 200000,
            icon: L.divIcon({
                className: "map-label-box",
                html: text,
                iconSize: null,
                iconAnchor: [this._icon.anchor.width - label.getOffset().width,
                             this._icon.anchor.height - label.getOffset().height]
            })
        });
        this._layer.addLayer(this._labelLayer);
    };

    function Polyline(points, options) {
        options = options || {};
        this._points = points.slice();
        this._layer = L.polyline(this._points.map(latLngOf), {
            color: options.strokeColor,
            weight: options.strokeWeight,
            opacity: options.strokeOpacity
        });
    }
    Polyline.prototype.getPath = function () { return this._points.slice(); };

    function NavigationControl(options) {
        this._control = L.control.zoom({ position: positionOf(options, 0) });
    }

    function ScaleControl(options) {
        this._control = L.control.scale({ position: positionOf(options, 2), imperial: false });
    }

    // Without tiles there is one map type only, so there is nothing to choose from.
    function MapTypeControl() {
        this._control = null;
    }

    var OfflineNote = L.Control.extend({
        options: { position: "topright" },
        onAdd: function () {
            var note = L.DomUtil.create("div", "offline-note");
            note.textContent = "离线地图";
            note.style.cssText = "background: rgba(255,255,255,0.85); color: #333; padding: 2px 8px;" +
                " border: 1px solid #999; border-radius: 3px; font-size: 13px;";
            return note;
        }
    });

    function Map(container) {
        var element = typeof container === "string" ? document.getElementById(container) : container;
        this._overlays = [];
        this._map = L.map(element, {
            crs: Crs,
            minZoom: MinZoom,
            maxZoom: MaxZoom,
            zoomControl: false,
            attributionControl: false,
            dragging: false,
            scrollWheelZoom: false,
            doubleClickZoom: false,
            keyboard: false,
            fadeAnimation: false,
            zoomAnimation: false,
            markerZoomAnimation: false
        });
        element.style.background = "#f5f3f0";
        new OfflineNote().addTo(this._map);
    }
    Map.prototype.centerAndZoom = function (point, zoom) {
        var level = parseInt(zoom, 10);
        this._map.setView(latLngOf(point), isNaN(level) ? this._map.getZoom() : level, { animate: false });
    };
    Map.prototype.setCenter = function (point) {
        this._map.panTo(latLngOf(point), { animate: false });
    };
    Map.prototype.getCenter = function () { return pointOf(this._map.getCenter()); };
    Map.prototype.getZoom = function () { return this._map.getZoom(); };
    Map.prototype.zoomIn = function () { this._map.zoomIn(1, { animate: false }); };
    Map.prototype.zoomOut = function () { this._map.zoomOut(1, { animate: false }); };
    Map.prototype.enableDragging = function () { this._map.dragging.enable(); };
    Map.prototype.enableScrollWheelZoom = function () { this._map.scrollWheelZoom.enable(); };
    Map.prototype.enableDoubleClickZoom = function () { this._map.doubleClickZoom.enable(); };
    Map.prototype.enableKeyboard = function () { this._map.keyboard.enable(); };
    Map.prototype.addControl = function (control) {
        if (control._control) {
            control._control.addTo(this._map);
        }
    };
    Map.prototype.addOverlay = function (overlay) {
        if (this._overlays.indexOf(overlay) < 0) {
            this._overlays.push(overlay);
            overlay._layer.addTo(this._map);
        }
    };
    Map.prototype.removeOverlay = function (overlay) {
        var index = this._overlays.indexOf(overlay);
        if (index >= 0) {
            this._overlays.splice(index, 1);
            overlay._layer.remove();
        }
    };
    Map.prototype.clearOverlays = function () {
        var overlays = this._overlays;
        this._overlays = [];
        overlays.forEach(function (overlay) { overlay._layer.remove(); });
    };
    Map.prototype.getOverlays = function () { return this._overlays.slice(); };
    Map.prototype.addEventListener = function (event, handler) {
        var self = this;
        this._map.on(event.replace(/^on/, ""), function (e) {
            handler.call(self, {
                type: "on" + e.type,
                target: self,
                point: e.latlng ? pointOf(e.latlng) : null,
                pixel: e.containerPoint ? { x: e.containerPoint.x, y: e.containerPoint.y } : null
            });
        });
    };

    var Api = Object.freeze({
        Map: Map,
        Point: Point,
        Size: Size,
        Icon: Icon,
        Marker: Marker,
        Label: Label,
        Polyline: Polyline,
        NavigationControl: NavigationControl,
        MapTypeControl: MapTypeControl,
        ScaleControl: ScaleControl,
        offline: true
    });

    return function () {
        window.BMAP_ANCHOR_TOP_LEFT = 0;
        window.BMAP_ANCHOR_TOP_RIGHT = 1;
        window.BMAP_ANCHOR_BOTTOM_LEFT = 2;
        window.BMAP_ANCHOR_BOTTOM_RIGHT = 3;
        window.BMAP_NAVIGATION_CONTROL_LARGE = 0;
        // An online API that answers late must not replace the map already made.
        try {
            Object.defineProperty(window, "BMap", { value: Api, writable: false, configurable: false, enumerable: true });
        } catch (e) {
            window.BMap = Api;
        }
    };
})();
