// What the offline map draws beneath the measurement so that the user knows where it lies:
// the built-in basemap (land, country outlines and names, China's provinces and their names),
// a latitude/longitude grid with labels, a readout of the mouse position in WGS-84 degrees,
// and the offline map packages the program serves, chosen with a layer switch.
//
// Positions on the Leaflet map are in the display datum: WGS-84 with the basemap alone, else
// the chosen package's datum. offline.js places every overlay through toDisplay/fromDisplay.
var OfflineLayers = (function () {
    "use strict";

    var NoPackage = "无底图";
    var map = null;
    var datum = "wgs84";
    var datumListeners = [];
    var layerSwitch = null;
    var packages = {};  // id → tile layer
    var gridLayer = null;
    var gridLabels = [];  // the grid's labels now shown: {text, kind: "lat"|"lon", value}
    var countryLabels = [], provinceLabels = [], townLabels = [];

    // Names are shown where their area is wide enough on screen for them, country names up to
    // a regional view and province names up to a city's.
    var LabelRoom = 40;  // pixels
    var CountryNamesUpTo = 7, ProvinceNamesUpTo = 11;
    // Towns appear by size: the largest cities from a country's view, every town from a county's.
    var TownZooms = [[5000000, 5], [1000000, 7], [200000, 8], [0, 9]];
    var TownNamesUpTo = 15;

    function toDisplay(bd) {
        var p = MapDatum.fromBd({ lat: bd.lat, lon: bd.lng }, datum);
        return L.latLng(p.lat, p.lon);
    }

    function fromDisplay(latLng) {
        var p = MapDatum.toBd({ lat: latLng.lat, lon: latLng.lng }, datum);
        return { lat: p.lat, lng: p.lon };
    }

    function wgsToDisplay(lat, lon) {
        var p = MapDatum.fromWgs({ lat: lat, lon: lon }, datum);
        return L.latLng(p.lat, p.lon);
    }

    function displayToWgs(latLng) {
        return MapDatum.toWgs({ lat: latLng.lat, lon: latLng.lng }, datum);
    }

    // Rings are delta-encoded integers of 1/units degree.
    function decodeRing(encoded, units) {
        var out = new Array(encoded.length / 2);
        var x = 0, y = 0;
        for (var i = 0, k = 0; i < encoded.length; i += 2, k++) {
            x += encoded[i];
            y += encoded[i + 1];
            out[k] = L.latLng(y / units, x / units);
        }
        return out;
    }

    function nameLabels(features, className) {
        return features.map(function (f) {
            var text = document.createElement("span");
            text.textContent = f.name;
            return {
                size: f.size,
                marker: L.marker(L.latLng(f.label[1], f.label[0]), {
                    pane: "basemapNames",
                    interactive: false,
                    keyboard: false,
                    icon: L.divIcon({ className: className, html: text.outerHTML, iconSize: null })
                })
            };
        });
    }

    function townLabel(town) {
        var text = document.createElement("span");
        text.textContent = town[2];
        var from = 0;
        while (town[3] < TownZooms[from][0]) {
            from++;
        }
        return {
            from: TownZooms[from][1],
            marker: L.marker(L.latLng(town[1], town[0]), {
                pane: "basemapNames",
                interactive: false,
                keyboard: false,
                icon: L.divIcon({ className: "basemap-town", html: text.outerHTML, iconSize: [6, 6] })
            })
        };
    }

    var basemapDrawn = false;

    function addBasemap() {
        if (typeof BaseMapText !== "string") {
            return;
        }
        var data = JSON.parse(BaseMapText);
        var renderer = L.canvas({ pane: "basemap", padding: 0.2 });
        // Each ring is a polygon of its own (islands, exclaves), never a hole of another.
        var polygonsOf = function (features) {
            var out = [];
            features.forEach(function (f) {
                f.rings.forEach(function (r) { out.push([decodeRing(r, data.units)]); });
            });
            return out;
        };
        L.polygon(polygonsOf(data.countries), {
            renderer: renderer, interactive: false, smoothFactor: 1.5,
            color: "#9a8f80", weight: 1, fillColor: "#f2efe6", fillOpacity: 1
        }).addTo(map);
        L.polygon(polygonsOf(data.provinces), {
            renderer: renderer, interactive: false, smoothFactor: 1.5,
            color: "#b07aa1", weight: 1, dashArray: "4 3", fill: false
        }).addTo(map);
        countryLabels = nameLabels(data.countries, "basemap-country");
        provinceLabels = nameLabels(data.provinces, "basemap-province");
        townLabels = (data.towns || []).map(townLabel);
        map.on("zoomend", showNames);
        showNames();
        basemapDrawn = true;
    }

    function showNames() {
        var z = map.getZoom();
        var pixelsPerDegree = map.options.crs.scale(z) / 360;
        var show = function (labels, upTo) {
            labels.forEach(function (label) {
                var visible = z <= upTo && label.size * pixelsPerDegree >= LabelRoom;
                if (visible && !map.hasLayer(label.marker)) {
                    label.marker.addTo(map);
                } else if (!visible && map.hasLayer(label.marker)) {
                    label.marker.remove();
                }
            });
        };
        show(countryLabels, CountryNamesUpTo);
        show(provinceLabels, ProvinceNamesUpTo);
        townLabels.forEach(function (label) {
            var visible = z >= label.from && z <= TownNamesUpTo;
            if (visible !== map.hasLayer(label.marker)) {
                if (visible) {
                    label.marker.addTo(map);
                } else {
                    label.marker.remove();
                }
            }
        });
    }

    // A grid spacing in degrees: 1, 2 or 5 times a power of ten, giving 3 to 8 lines across
    // the wider side of the view.
    function gridStep(span) {
        var steps = [];
        for (var e = -6; e <= 1; e++) {
            [1, 2, 5].forEach(function (m) { steps.push(m * Math.pow(10, e)); });
        }
        for (var i = 0; i < steps.length; i++) {
            if (span / steps[i] <= 8) {
                return steps[i];
            }
        }
        return 30;
    }

    function decimalsOf(step) {
        return Math.max(0, Math.ceil(-Math.log(step) / Math.LN10 - 1e-9));
    }

    function gridText(value, decimals, positive, negative) {
        return Math.abs(value).toFixed(decimals) + "°" + (value < 0 ? negative : value > 0 ? positive : "");
    }

    function drawGrid() {
        gridLayer.clearLayers();
        gridLabels = [];
        var size = map.getSize();
        // The view's corners in WGS-84, whatever the display datum.
        var corners = [L.point(0, 0), L.point(size.x, 0), L.point(0, size.y), L.point(size.x, size.y)]
            .map(function (p) { return displayToWgs(map.containerPointToLatLng(p)); });
        var south = Math.max(-85, Math.min.apply(null, corners.map(function (c) { return c.lat; })));
        var north = Math.min(85, Math.max.apply(null, corners.map(function (c) { return c.lat; })));
        var west = Math.min.apply(null, corners.map(function (c) { return c.lon; }));
        var east = Math.max.apply(null, corners.map(function (c) { return c.lon; }));
        var step = gridStep(Math.max(north - south, east - west));
        var decimals = decimalsOf(step);
        var style = { renderer: gridRenderer, interactive: false, color: "#4a6a8a", weight: 1, opacity: 0.55 };
        // Lines are sampled so that a datum's offset bends them as it bends the map.
        var samples = 8;
        var first, k, value, line, s, label;
        first = Math.ceil(west / step);
        for (k = first; k * step <= east; k++) {
            value = k * step;
            line = [];
            for (s = 0; s <= samples; s++) {
                line.push(wgsToDisplay(south + (north - south) * s / samples, value));
            }
            L.polyline(line, style).addTo(gridLayer);
            label = gridText(value, decimals, "E", "W");
            addGridLabel(label, "lon", value, map.latLngToContainerPoint(wgsToDisplay(north, value)).x, 2);
        }
        first = Math.ceil(south / step);
        for (k = first; k * step <= north; k++) {
            value = k * step;
            line = [];
            for (s = 0; s <= samples; s++) {
                line.push(wgsToDisplay(value, west + (east - west) * s / samples));
            }
            L.polyline(line, style).addTo(gridLayer);
            label = gridText(value, decimals, "N", "S");
            addGridLabel(label, "lat", value, 2, map.latLngToContainerPoint(wgsToDisplay(value, west)).y);
        }
    }

    function addGridLabel(text, kind, value, x, y) {
        var size = map.getSize();
        // Not under the zoom buttons in the top left corner, nor on the scale bar below.
        var underButtons = kind === "lon" ? x < 50 : y < 90 || y > size.y - 36;
        if (x < 0 || y < 0 || x > size.x || y > size.y || underButtons) {
            return;
        }
        var element = document.createElement("div");
        element.className = "grid-label";
        element.textContent = text;
        element.style.left = (kind === "lon" ? x + 3 : x) + "px";
        element.style.top = (kind === "lat" ? y - 16 : y) + "px";
        gridBox.appendChild(element);
        gridLabels.push({ text: text, kind: kind, value: value, x: x, y: y });
    }

    var gridRenderer = null;
    var gridBox = null;

    function addGrid() {
        map.createPane("grid").style.zIndex = 350;
        gridRenderer = L.canvas({ pane: "grid", padding: 0.1 });
        gridLayer = L.layerGroup().addTo(map);
        // Labels live in a box over the map that does not move with it: they stay at the edges.
        gridBox = L.DomUtil.create("div", "grid-labels", map.getContainer());
        var redraw = function () {
            while (gridBox.firstChild) {
                gridBox.removeChild(gridBox.firstChild);
            }
            drawGrid();
        };
        // Every zoom ends with a moveend as well; resize redraws at once, before its moveend.
        map.on("moveend resize", redraw);
        map.whenReady(redraw);
    }

    var Readout = L.Control.extend({
        options: { position: "bottomright" },
        onAdd: function () {
            var box = L.DomUtil.create("div", "coordinate-readout");
            box.textContent = "WGS-84";
            map.on("mousemove", function (e) {
                var p = displayToWgs(e.latlng);
                box.textContent = "WGS-84 经度 " + p.lon.toFixed(6) + "° 纬度 " + p.lat.toFixed(6) + "°";
            });
            return box;
        }
    });

    function setDatum(next) {
        if (next === datum) {
            return;
        }
        var centre = fromDisplay(map.getCenter());
        datum = next;
        datumListeners.forEach(function (listener) { listener(); });
        map.setView(toDisplay(centre), map.getZoom(), { animate: false });
    }

    function install(leafletMap) {
        map = leafletMap;
        var style = document.createElement("style");
        style.textContent =
            ".basemap-country span { font-size: 13px; color: #6b5d4d; }" +
            ".basemap-province span { font-size: 12px; color: #8a4f7d; }" +
            ".basemap-country span, .basemap-province span { display: block; transform: translate(-50%, -50%);" +
            " white-space: nowrap; text-shadow: 0 0 2px #fff, 0 0 2px #fff; }" +
            ".basemap-town { background: #555; border: 1px solid #fff; border-radius: 50%; box-sizing: border-box; }" +
            ".basemap-town span { position: absolute; left: 8px; top: -6px; font-size: 12px; color: #333;" +
            " white-space: nowrap; text-shadow: 0 0 2px #fff, 0 0 2px #fff; }" +
            ".grid-labels { position: absolute; left: 0; top: 0; right: 0; bottom: 0; pointer-events: none; z-index: 450; }" +
            ".grid-label { position: absolute; font: 11px sans-serif; color: #2d4d6d;" +
            " background: rgba(255,255,255,0.7); padding: 0 2px; white-space: nowrap; }" +
            ".coordinate-readout { background: rgba(255,255,255,0.85); padding: 1px 6px; font: 12px sans-serif; }" +
            // Room above the layer switch for the page's "回到测量范围".
            ".leaflet-top.leaflet-right .leaflet-control-layers { margin-top: 38px; }";
        document.head.appendChild(style);
        map.createPane("packages").style.zIndex = 200;
        map.createPane("basemap").style.zIndex = 150;
        map.createPane("basemapNames").style.zIndex = 160;
        map.getPane("basemapNames").style.pointerEvents = "none";
        map.getContainer().style.background = "#c9dff0";  // the sea
        addGrid();
        new Readout().addTo(map);
        // The outlines are drawn just after the map is ready, so that a record shown during
        // start-up does not wait for them.
        setTimeout(addBasemap, 0);
    }

    // The layer switch: "无底图" and every package the program offers.
    var baseLayers = [];

    function switchControl() {
        var none = L.layerGroup();
        none.options = { datum: "wgs84" };
        baseLayers.push(none);
        var bases = {};
        bases[NoPackage] = none;
        layerSwitch = L.control.layers(bases, null, { position: "topright", collapsed: false });
        none.addTo(map);
        map.on("baselayerchange", function (e) {
            setDatum(e.layer.options.datum || "wgs84");
        });
        return layerSwitch;
    }

    function TextAsMarkup(text) {
        var holder = document.createElement("span");
        holder.textContent = String(text);
        return holder.innerHTML;
    }

    // A package's tiles: the map's zoom z shows the package's zoom z tiles; its scale is not a
    // power of two of the web map's, so tiles are drawn at that scale's size.
    function addPackage(id, name, packageDatum, minZoom, maxZoom, bounds, select) {
        if (!map || packages[id]) {
            return false;
        }
        var tileSize = map.options.crs.scale(0);
        var options = {
            pane: "packages", datum: packageDatum, tileSize: tileSize,
            // Shown from a zoom below its least, not from far out: a view of the world would ask
            // for its detailed tiles in their billions.
            minNativeZoom: minZoom, maxNativeZoom: maxZoom, minZoom: Math.max(1, minZoom - 1), maxZoom: 19,
            errorTileUrl: "", keepBuffer: 1
        };
        if (bounds) {
            options.bounds = L.latLngBounds([bounds[1], bounds[0]], [bounds[3], bounds[2]]);
        }
        var layer = L.tileLayer("mbtiles://package/" + id + "/{z}/{x}/{y}", options);
        layer.on("tileerror", function (e) { e.tile.style.visibility = "hidden"; });
        packages[id] = layer;
        if (layerSwitch) {
            // Leaflet's layer switch sets a name as markup: the package's name (anybody's text)
            // goes in as the markup of that very text.
            layerSwitch.addBaseLayer(layer, TextAsMarkup(name));
        }
        baseLayers.push(layer);
        if (select) {
            baseLayers.forEach(function (other) {
                if (map.hasLayer(other)) {
                    map.removeLayer(other);
                }
            });
            layer.addTo(map);
            map.fire("baselayerchange", { layer: layer, name: name });
        }
        return true;
    }

    return Object.freeze({
        install: install,
        switchControl: switchControl,
        addPackage: addPackage,
        toDisplay: toDisplay,
        fromDisplay: fromDisplay,
        onDatumChange: function (listener) { datumListeners.push(listener); },
        datum: function () { return datum; },
        basemapDrawn: function () { return basemapDrawn; },
        gridLabels: function () { return gridLabels.slice(); }
    });
})();
