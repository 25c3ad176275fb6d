// Makes the map once the online map API has loaded, or failed to.
MapStart(typeof BMap !== "undefined" && BMap !== null && typeof BMap.Map === "function");
