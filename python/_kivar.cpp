// The compiled part of the Python package `kivar`: the engine's datasets,
// their inventory, fields as NumPy arrays and NetCDF files.
#include "engine/engine.h"
#include "engine/map.h"

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <cstdlib>
#include <unistd.h>
#include <memory>
#include <string>

namespace py = pybind11;

namespace {

PyObject* error_class = nullptr;       // kivar.Error
PyObject* file_error_class = nullptr;  // kivar.FileError: also an OSError
PyObject* value_error_class = nullptr; // kivar.RequestError: also a ValueError

[[noreturn]] void raise(const engine::Error& e) {
    PyObject* cls = e.kind == engine::Error::Value ? value_error_class : file_error_class;
    PyErr_SetString(cls, e.message().c_str());
    throw py::error_already_set();
}

struct PyDataset {
    std::shared_ptr<engine::Dataset> d;
    const engine::Inventory& inv() const { return engine::inventory(*d); }
};

int variable_index(const PyDataset& d, const py::object& which) {
    const auto& vars = d.inv().variables;
    if (py::isinstance<py::str>(which)) {
        const int v = engine::find_variable(*d.d, which.cast<std::string>());
        if (v < 0)
            raise({"kivar", d.inv().path + ": no variable " + which.cast<std::string>(),
                   engine::Error::Value});
        return v;
    }
    const long v = which.cast<long>();
    if (v < 0 || v >= static_cast<long>(vars.size()))
        raise({"kivar", d.inv().path + ": no variable " + std::to_string(v), engine::Error::Value});
    return static_cast<int>(v);
}

// A vector's data as a NumPy array that owns it (no copy).
template <class T> py::array_t<T> adopt(std::vector<T>* data, std::vector<py::ssize_t> shape) {
    py::capsule owner(data, [](void* p) { delete static_cast<std::vector<T>*>(p); });
    return py::array_t<T>(shape, data->data(), owner);
}

py::array_t<float> read_array(const PyDataset& d, const py::object& which, int hour_pos,
                              int level_pos, int member_pos) {
    const int v = variable_index(d, which);
    const engine::Inventory& inv = d.inv();
    const engine::GridInfo& g = inv.grids[inv.variables[v].grid];
    auto values = std::make_unique<std::vector<float>>(g.points);
    engine::Error e;
    int ok;
    {
        py::gil_scoped_release release;
        ok = engine::read_field(*d.d, v, hour_pos, level_pos, member_pos, *values, e);
    }
    if (!ok) raise(e);
    std::vector<py::ssize_t> shape;
    if (g.layout == engine::GridLayout::Points)
        shape = {static_cast<py::ssize_t>(g.points)};
    else
        shape = {g.rows, g.cols};
    return adopt(values.release(), shape);
}

py::tuple coordinates(const PyDataset& d, int grid) {
    auto lat = std::make_unique<std::vector<double>>();
    auto lon = std::make_unique<std::vector<double>>();
    engine::Error e;
    if (grid < 0 || grid >= static_cast<int>(d.inv().grids.size()))
        raise({"kivar", "no grid " + std::to_string(grid), engine::Error::Value});
    if (!engine::grid_coordinates(*d.d, grid, *lat, *lon, e)) raise(e);
    const engine::GridInfo& g = d.inv().grids[grid];
    std::vector<py::ssize_t> lat_shape, lon_shape;
    if (g.layout == engine::GridLayout::LatLon)
        lat_shape = {g.rows}, lon_shape = {g.cols};
    else if (g.layout == engine::GridLayout::Projected)
        lat_shape = lon_shape = {g.rows, g.cols};
    else
        lat_shape = lon_shape = {static_cast<py::ssize_t>(g.points)};
    return py::make_tuple(adopt(lat.release(), lat_shape), adopt(lon.release(), lon_shape));
}

// The position of name in a list of names, or a RequestError with the
// command line's message for the option.
int name_position(const std::string& name, std::initializer_list<const char*> names,
                  const std::string& option) {
    int k = 0;
    std::string all;
    for (const char* n : names) {
        if (name == n) return k;
        all += (k++ ? " " : "") + std::string(n);
    }
    raise({"kivar", option + " wants one of: " + all, engine::Error::Value});
}

// map.dat of the fixed map's coastline: $KIVAR_MAP, the installed one
// beside the package (PREFIX/share/kivar/map.dat), or the source tree's.
std::string coast_file(const py::object& given) {
    if (!given.is_none()) return py::str(given).cast<std::string>();
    if (const char* env = std::getenv("KIVAR_MAP"); env && *env) return env;
    const std::string here = py::module_::import("os.path")
                                 .attr("dirname")(py::module_::import("kivar").attr("__file__"))
                                 .cast<std::string>();
    for (const char* rel : {"/../../../../share/kivar/map.dat", "/../../../data/map.dat"}) {
        const std::string p = here + rel;
        if (access(p.c_str(), R_OK) == 0) return p;
    }
    return "";
}

py::object draw_map(PyDataset& d, const py::object& which, int hour_pos, int level_pos,
                    int member_pos, const py::object& path, const std::string& format,
                    const py::object& area, const py::object& contour, bool contour_only,
                    const std::string& palette, const std::string& projection,
                    const py::object& range, double vector_scale, int vector_density, bool fixed,
                    const py::object& coast) {
    const int v = variable_index(d, which);
    engine::MapRequest q;
    const int f = name_position(format, {"png", "pdf", "cgm", "tif", "ps", "bmp"}, "format");
    static const char* const devices[] = {"png", "pdf", "cgm", "tiff", "pscl", "bmp"};
    q.device = devices[f];
    q.projection = name_position(projection,
                                 {"grid", "platecarree", "mercator", "lambert", "polar-north",
                                  "polar-south", "robinson", "equalearth"},
                                 "--projection");
    q.palette =
        name_position(palette, {"rainbow", "viridis", "diverging", "precipitation"}, "--palette");
    std::string why;
    if (!area.is_none()) {
        std::string text;
        for (const py::handle& x : area)
            text += py::str(x).cast<std::string>() + " ";
        float a[4];
        if (!engine::parse_area(text, a, &why)) raise({"Map", why, engine::Error::Value});
        q.area = true;
        q.lon0 = a[0], q.lon1 = a[1], q.lat0 = a[2], q.lat1 = a[3];
    }
    if (!contour.is_none() || contour_only) {
        const std::string text = contour.is_none() ? "auto" : py::str(contour).cast<std::string>();
        if (!engine::parse_contour_step(text, q.contour_step, &why))
            raise({"Map", why, engine::Error::Value});
        q.contours = contour_only ? 2 : 1;
    }
    if (!range.is_none()) {
        const auto r = range.cast<std::pair<float, float>>();
        q.auto_range = false;
        q.range_low = r.first, q.range_high = r.second;
    }
    if (!(vector_scale >= 0.2 - 1e-9 && vector_scale <= 2.0 + 1e-9))
        raise({"kivar", "--vector-scale wants 0.2 to 2.0", engine::Error::Value});
    if (vector_density < 1 || vector_density > 10)
        raise({"kivar", "--vector-density wants 1 to 10", engine::Error::Value});
    q.vector_scale = static_cast<float>(vector_scale);
    q.vector_density = vector_density;
    q.fixed = fixed;
    q.path = path.is_none() ? "" : py::str(path).cast<std::string>();
    if (!path.is_none() && q.path.empty())
        raise({"kivar", "the map's path is empty", engine::Error::Value});
    q.recover = true;
    q.quiet = true; // failures come back as exceptions
    const std::string map_dat = coast_file(coast);
    engine::FieldMap store;
    engine::MapResult result;
    engine::Error e;
    int ok;
    {
        py::gil_scoped_release release;
        ok = engine::dataset_map(*d.d, v, hour_pos, level_pos, member_pos, map_dat, store, q, e);
        if (ok) ok = engine::draw_map(q, result, e);
    }
    if (!ok && result.constant) {
        const engine::Variable& var = d.inv().variables[v];
        char text[160];
        std::snprintf(text, sizeof text, "no map for %d/%d/%d: the field is constant (%g)", q.level,
                      q.item, var.hours[hour_pos], double(result.value));
        raise({"kivar", text, engine::Error::Value});
    }
    if (!ok) raise(e);
    if (path.is_none())
        return py::bytes(reinterpret_cast<const char*>(result.bytes.data()), result.bytes.size());
    return py::none();
}

} // namespace

PYBIND11_MODULE(_kivar, m) {
    m.doc() = "KIVAR's engine: GPV and GRIB files, their fields and maps";
    error_class = PyErr_NewException("kivar.Error", PyExc_Exception, nullptr);
    py::object file_bases = py::make_tuple(py::handle(error_class), py::handle(PyExc_OSError));
    file_error_class = PyErr_NewException("kivar.FileError", file_bases.ptr(), nullptr);
    py::object value_bases = py::make_tuple(py::handle(error_class), py::handle(PyExc_ValueError));
    value_error_class = PyErr_NewException("kivar.RequestError", value_bases.ptr(), nullptr);
    m.attr("Error") = py::handle(error_class);
    m.attr("FileError") = py::handle(file_error_class);
    m.attr("RequestError") = py::handle(value_error_class);

    py::class_<engine::GridInfo>(m, "Grid")
        .def_property_readonly("layout",
                               [](const engine::GridInfo& g) {
                                   return g.layout == engine::GridLayout::LatLon      ? "latlon"
                                          : g.layout == engine::GridLayout::Projected ? "projected"
                                                                                      : "points";
                               })
        .def_readonly("kind", &engine::GridInfo::kind)
        .def_readonly("template_number", &engine::GridInfo::template_number)
        .def_readonly("cols", &engine::GridInfo::cols)
        .def_readonly("rows", &engine::GridInfo::rows)
        .def_readonly("points", &engine::GridInfo::points)
        .def_readonly("proj", &engine::GridInfo::proj)
        .def_readonly("x0", &engine::GridInfo::x0)
        .def_readonly("y0", &engine::GridInfo::y0)
        .def_readonly("dx", &engine::GridInfo::dx)
        .def_readonly("dy", &engine::GridInfo::dy)
        .def("__repr__", [](const engine::GridInfo& g) {
            return "<kivar.Grid " + g.kind + " " + std::to_string(g.cols) + " x " +
                   std::to_string(g.rows) + ">";
        });

    py::class_<engine::Variable>(m, "Variable")
        .def_readonly("name", &engine::Variable::name)
        .def_readonly("short_name", &engine::Variable::short_name)
        .def_readonly("long_name", &engine::Variable::long_name)
        .def_readonly("units", &engine::Variable::units)
        .def_readonly("standard_name", &engine::Variable::standard_name)
        .def_readonly("item", &engine::Variable::item)
        .def_readonly("discipline", &engine::Variable::discipline)
        .def_readonly("category", &engine::Variable::category)
        .def_readonly("number", &engine::Variable::number)
        .def_readonly("level_type", &engine::Variable::level_type)
        .def_readonly("level_kind", &engine::Variable::level_kind)
        .def_readonly("level_units", &engine::Variable::level_units)
        .def_readonly("levels", &engine::Variable::levels)
        .def_readonly("hours", &engine::Variable::hours)
        .def_readonly("members", &engine::Variable::members)
        .def_readonly("grid", &engine::Variable::grid)
        .def_readonly("interval_hours", &engine::Variable::interval_hours)
        .def_property_readonly("present",
                               [](const engine::Variable& v) {
                                   std::vector<bool> p(v.fields.size());
                                   for (std::size_t k = 0; k < p.size(); ++k)
                                       p[k] = v.fields[k] >= 0;
                                   return p;
                               })
        .def("__repr__", [](const engine::Variable& v) {
            return "<kivar.Variable " + v.name + ": " + v.long_name + " (" + v.units + "), " +
                   std::to_string(v.hours.size()) + " hours x " + std::to_string(v.levels.size()) +
                   " levels>";
        });

    py::class_<PyDataset>(m, "Dataset")
        .def_property_readonly("path", [](const PyDataset& d) { return d.inv().path; })
        .def_property_readonly("kind",
                               [](const PyDataset& d) {
                                   return d.inv().kind == engine::FileKind::Gpv ? "gpv" : "grib";
                               })
        .def_property_readonly("model", [](const PyDataset& d) { return d.inv().model; })
        .def_property_readonly("reference_time",
                               [](const PyDataset& d) {
                                   const auto& i = d.inv();
                                   return py::make_tuple(i.year, i.month, i.day, i.hour, i.minute);
                               })
        .def_property_readonly("variables", [](const PyDataset& d) { return d.inv().variables; })
        .def_property_readonly("grids", [](const PyDataset& d) { return d.inv().grids; })
        .def_property_readonly("notes", [](const PyDataset& d) { return d.inv().notes; })
        .def("read", &read_array, py::arg("variable"), py::arg("hour") = 0, py::arg("level") = 0,
             py::arg("member") = 0,
             "The field of a variable (name or index) at positions in its hours, levels and "
             "members, as a float32 array (rows x cols, or points)")
        .def("coordinates", &coordinates, py::arg("grid") = 0,
             "(lat, lon) of a grid: 1-D for regular lat/lon grids, else per point")
        .def(
            "write_netcdf",
            [](PyDataset& d, const std::string& path, std::vector<std::string> names) {
                engine::Error e;
                int ok;
                {
                    py::gil_scoped_release release;
                    ok = engine::write_netcdf(*d.d, names, path, e);
                }
                if (!ok) raise(e);
            },
            py::arg("path"), py::arg("variables") = std::vector<std::string>{},
            "Writes the variables (all by default) as one NetCDF-CF file")
        .def("draw_map", &draw_map, py::arg("variable"), py::arg("hour") = 0, py::arg("level") = 0,
             py::arg("member") = 0, py::arg("path") = py::none(), py::arg("format") = "png",
             py::arg("area") = py::none(), py::arg("contour") = py::none(),
             py::arg("contour_only") = false, py::arg("palette") = "rainbow",
             py::arg("projection") = "grid", py::arg("range") = py::none(),
             py::arg("vector_scale") = 1.0, py::arg("vector_density") = 1, py::arg("fixed") = false,
             py::arg("coast") = py::none(),
             "Draws the map of one field (positions as read() takes them) into the file `path`, "
             "or returns the page's bytes when path is None. format: png, pdf, cgm, tif, ps, "
             "bmp; area (lon0, lon1, lat0, lat1); contour: a step or \"auto\"; contour_only; "
             "palette and projection by the names of `kivar image`; range (lo, hi); "
             "vector_scale 0.2 to 2.0, vector_density 1 to 10 (wind components draw arrows); "
             "fixed: the fixed frame for a grid beyond it; coast: the map.dat of the fixed map")
        .def("__repr__", [](const PyDataset& d) {
            return "<kivar.Dataset " + d.inv().path + ": " + d.inv().model + ", " +
                   std::to_string(d.inv().variables.size()) + " variables>";
        });

    m.def(
        "open",
        [](const std::string& path) {
            engine::Error e;
            std::shared_ptr<engine::Dataset> d;
            {
                py::gil_scoped_release release;
                d = engine::open(path, e);
            }
            if (!d) raise(e);
            return PyDataset{d};
        },
        py::arg("path"), "Opens a GPV or GRIB file and reads its inventory");
}
