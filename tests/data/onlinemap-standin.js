// A stand-in for the online map API, served to the map page in tests in place of the real one.
// It has only the part of the API the page uses, checks every argument strictly, draws
// nothing, and logs each call in BMap.log, so that a misspelt name or a wrong argument in the
// page's online branch fails instead of passing unnoticed.
(function () {
    "use strict";
    var log = [];

    function fail(what) {
        throw new TypeError("online map stand-in: " + what);
    }
    function need(ok, what) {
        if (!ok) fail(what);
    }
    function isNumber(x) {
        return typeof x === "number" && isFinite(x);
    }
    function options(given, allowed, what) {
        if (given === undefined) return {};
        need(given !== null && typeof given === "object", what + ": options must be an object");
        Object.keys(given).forEach(function (key) {
            need(allowed.indexOf(key) >= 0, what + ": unknown option " + key);
        });
        return given;
    }
    function constructed(self, type) {
        need(self instanceof type, type.name + " called without new");
    }

    function Point(lng, lat) {
        constructed(this, Point);
        need(isNumber(lng) && isNumber(lat), "Point(lng, lat) takes numbers, got " + typeof lng + ", " + typeof lat);
        this.lng = lng;
        this.lat = lat;
    }
    Point.prototype.equals = function (other) {
        need(other instanceof Point, "Point.equals takes a Point");
        return this.lng === other.lng && this.lat === other.lat;
    };

    function Size(width, height) {
        constructed(this, Size);
        need(isNumber(width) && isNumber(height), "Size(width, height) takes numbers");
        this.width = width;
        this.height = height;
    }

    function Icon(url, size, opts) {
        constructed(this, Icon);
        need(typeof url === "string" && url.length > 0, "Icon needs an image URL");
        need(size instanceof Size, "Icon needs a Size");
        opts = options(opts, ["anchor", "imageOffset"], "Icon");
        need(opts.anchor === undefined || opts.anchor instanceof Size, "Icon anchor must be a Size");
        this.imageUrl = url;
        this.size = size;
        this.anchor = opts.anchor || null;
    }

    function Label(content, opts) {
        constructed(this, Label);
        need(typeof content === "string", "Label content must be a string");
        opts = options(opts, ["offset", "position"], "Label");
        need(opts.offset === undefined || opts.offset instanceof Size, "Label offset must be a Size");
        this.content = content;
        this.offset = opts.offset || null;
        this.style = null;
    }
    Label.prototype.setStyle = function (style) {
        need(style !== null && typeof style === "object", "Label.setStyle takes an object");
        this.style = style;
    };
    Label.prototype.getContent = function () { return this.content; };
    Label.prototype.getOffset = function () { return this.offset; };

    function Marker(point, opts) {
        constructed(this, Marker);
        need(point instanceof Point, "Marker needs a Point");
        opts = options(opts, ["icon", "offset", "title"], "Marker");
        need(opts.icon === undefined || opts.icon instanceof Icon, "Marker icon must be an Icon");
        this.point = point;
        this.icon = opts.icon || null;
        this.label = null;
        this.top = false;
    }
    Marker.prototype.getPosition = function () { return this.point; };
    Marker.prototype.getIcon = function () { return this.icon; };
    Marker.prototype.getLabel = function () { return this.label; };
    Marker.prototype.setLabel = function (label) {
        need(label instanceof Label, "Marker.setLabel takes a Label");
        this.label = label;
    };
    Marker.prototype.setTop = function (isTop) {
        need(typeof isTop === "boolean", "Marker.setTop takes a boolean");
        this.top = isTop;
    };

    function Polyline(points, opts) {
        constructed(this, Polyline);
        need(Array.isArray(points) && points.every(function (p) { return p instanceof Point; }),
             "Polyline takes an array of Points");
        this.options = options(opts, ["strokeColor", "strokeWeight", "strokeOpacity", "strokeStyle"], "Polyline");
        this.points = points.slice();
    }
    Polyline.prototype.getPath = function () { return this.points.slice(); };

    var Anchors = [0, 1, 2, 3];
    function control(type, allowed) {
        return function (opts) {
            constructed(this, type());
            this.options = options(opts, allowed, type().name);
            need(this.options.anchor === undefined || Anchors.indexOf(this.options.anchor) >= 0, "unknown anchor");
        };
    }
    var NavigationControl = control(function () { return NavigationControl; }, ["anchor", "type", "offset"]);
    var MapTypeControl = control(function () { return MapTypeControl; }, ["anchor", "mapTypes", "offset"]);
    var ScaleControl = control(function () { return ScaleControl; }, ["anchor", "offset"]);

    var Events = ["click", "dragstart", "dragend", "zoomstart", "zoomend", "moveend", "resize"];

    function Map(container) {
        constructed(this, Map);
        need(typeof container === "string" && document.getElementById(container), "Map needs the id of an element");
        this.zoom = null;
        this.center = null;
        this.overlays = [];
        this.controls = [];
        this.handlers = {};
        this.enabled = [];
    }
    Map.prototype.centerAndZoom = function (point, zoom) {
        need(point instanceof Point, "centerAndZoom needs a Point");
        need(Number.isInteger(zoom) && zoom >= 3 && zoom <= 19, "centerAndZoom needs a whole zoom in 3...19, got " + zoom);
        log.push(["centerAndZoom", point.lng, point.lat, zoom]);
        this.center = point;
        this.zoom = zoom;
        this.fire("zoomend", {});
    };
    Map.prototype.setCenter = function (point) {
        need(point instanceof Point, "setCenter needs a Point");
        this.center = point;
    };
    Map.prototype.getCenter = function () { return this.center; };
    Map.prototype.getZoom = function () { return this.zoom; };
    Map.prototype.zoomIn = function () { this.zoom = Math.min(19, this.zoom + 1); this.fire("zoomend", {}); };
    Map.prototype.zoomOut = function () { this.zoom = Math.max(3, this.zoom - 1); this.fire("zoomend", {}); };
    ["enableDragging", "enableScrollWheelZoom", "enableDoubleClickZoom", "enableKeyboard"].forEach(function (name) {
        Map.prototype[name] = function () {
            need(arguments.length === 0, name + " takes no arguments");
            this.enabled.push(name);
        };
    });
    Map.prototype.addControl = function (c) {
        need(c instanceof NavigationControl || c instanceof MapTypeControl || c instanceof ScaleControl,
             "addControl takes a control");
        this.controls.push(c);
    };
    Map.prototype.addOverlay = function (o) {
        need(o instanceof Marker || o instanceof Polyline || o instanceof Label, "addOverlay takes an overlay");
        this.overlays.push(o);
    };
    Map.prototype.removeOverlay = function (o) {
        need(o instanceof Marker || o instanceof Polyline || o instanceof Label, "removeOverlay takes an overlay");
        var i = this.overlays.indexOf(o);
        if (i >= 0) this.overlays.splice(i, 1);
    };
    Map.prototype.clearOverlays = function () { this.overlays = []; };
    Map.prototype.getOverlays = function () { return this.overlays.slice(); };
    Map.prototype.addEventListener = function (event, handler) {
        need(Events.indexOf(event) >= 0, "unknown map event " + event);
        need(typeof handler === "function", "addEventListener needs a function");
        (this.handlers[event] = this.handlers[event] || []).push(handler);
    };
    // For the test: what the API does when the user acts on the map.
    Map.prototype.fire = function (event, e) {
        var self = this;
        e.type = "on" + event;
        e.target = this;
        (this.handlers[event] || []).forEach(function (h) { h.call(self, e); });
    };

    window.BMAP_ANCHOR_TOP_LEFT = 0;
    window.BMAP_ANCHOR_TOP_RIGHT = 1;
    window.BMAP_ANCHOR_BOTTOM_LEFT = 2;
    window.BMAP_ANCHOR_BOTTOM_RIGHT = 3;
    window.BMAP_NAVIGATION_CONTROL_LARGE = 0;
    window.BMap = {
        Map: Map, Point: Point, Size: Size, Icon: Icon, Label: Label, Marker: Marker, Polyline: Polyline,
        NavigationControl: NavigationControl, MapTypeControl: MapTypeControl, ScaleControl: ScaleControl,
        standIn: true, log: log
    };
})();
