"""GeoNames cities and their Chinese names, as Debian's libgeonames ships them.

The city list is compiled into libgeonames0 (read here through its C interface); the names in
other languages are its gettext catalogues in libgeonames-common, keyed by GeoNames id for
cities, by country code for countries and by "CC.admin1" for provinces. Used at build time only.
"""
import ctypes
import ctypes.util
import gettext
import os

LOCALE_DIR = "/usr/share/locale"

# zh_CN first: it holds the mainland's own forms ("郑州市"); zh has the rest, partly in
# traditional characters.
CATALOGUES = ("zh_CN", "zh")

# Province-level divisions of China whose names the catalogues give without their kind.
# GeoNames admin1 codes, which are also the FIPS codes the map data carries (CH09 = CN.09).
CN_MUNICIPALITIES = {"22", "23", "28", "33"}  # Beijing, Shanghai, Tianjin, Chongqing
CN_FULL_NAMES = {
    "13": "新疆维吾尔自治区",
    "14": "西藏自治区",
    "16": "广西壮族自治区",
    "20": "内蒙古自治区",
    "21": "宁夏回族自治区",
}
CN_SUFFIXES = ("省", "市", "自治区", "特别行政区")
# Parts of China that GeoNames and the map data carry as countries of their own; shown here
# as its province-level divisions.
CHINA_PARTS = {"TW": "台湾省", "HK": "香港特别行政区", "MO": "澳门特别行政区"}


class Names:
    def __init__(self):
        self.catalogues = []
        for locale in CATALOGUES:
            path = os.path.join(LOCALE_DIR, locale, "LC_MESSAGES", "geonames.mo")
            with open(path, "rb") as f:
                self.catalogues.append(gettext.GNUTranslations(f)._catalog)

    def lookup(self, key, fallback):
        for catalogue in self.catalogues:
            text = catalogue.get(key)
            if text:
                return text
        return fallback

    def country(self, code, fallback):
        return self.lookup("CN" if code in CHINA_PARTS else code, fallback)

    def province(self, country_code, admin1, fallback):
        """The province's Chinese name; Chinese provinces always carry their kind (省, 市, …)."""
        if country_code in CHINA_PARTS:
            return CHINA_PARTS[country_code]
        name = self.lookup("%s.%s" % (country_code, admin1), fallback)
        if country_code == "CN":
            if admin1 in CN_FULL_NAMES:
                return CN_FULL_NAMES[admin1]
            if not name.endswith(CN_SUFFIXES):
                name += "市" if admin1 in CN_MUNICIPALITIES else "省"
        return name


def cities():
    """Every city of libgeonames: (id, name, admin1, state, country code, country, lat, lon,
    population)."""
    glib = ctypes.CDLL(ctypes.util.find_library("glib-2.0"))
    lib = ctypes.CDLL("libgeonames.so.0")
    lib.geonames_get_n_cities.restype = ctypes.c_int
    lib.geonames_get_city.restype = ctypes.c_void_p
    lib.geonames_get_city.argtypes = [ctypes.c_int]
    lib.geonames_city_free.argtypes = [ctypes.c_void_p]
    glib.g_variant_get_child_value.restype = ctypes.c_void_p
    glib.g_variant_get_child_value.argtypes = [ctypes.c_void_p, ctypes.c_size_t]
    glib.g_variant_get_string.restype = ctypes.c_char_p
    glib.g_variant_get_string.argtypes = [ctypes.c_void_p, ctypes.c_void_p]
    glib.g_variant_get_double.restype = ctypes.c_double
    glib.g_variant_get_double.argtypes = [ctypes.c_void_p]
    glib.g_variant_get_uint32.restype = ctypes.c_uint32
    glib.g_variant_get_uint32.argtypes = [ctypes.c_void_p]
    glib.g_variant_unref.argtypes = [ctypes.c_void_p]

    # A city is the tuple (id, name, admin1, state, cc, country, tz, population, lat, lon).
    def child(city, index, read):
        value = glib.g_variant_get_child_value(city, index)
        result = read(value)
        glib.g_variant_unref(value)
        return result

    def text(value):
        return glib.g_variant_get_string(value, None).decode("utf-8")

    out = []
    for i in range(lib.geonames_get_n_cities()):
        city = lib.geonames_get_city(i)
        fields = [child(city, k, text) for k in range(6)]
        lat = child(city, 8, glib.g_variant_get_double)
        lon = child(city, 9, glib.g_variant_get_double)
        population = child(city, 7, glib.g_variant_get_uint32)
        lib.geonames_city_free(city)
        out.append(tuple(fields) + (lat, lon, population))
    return out
