// NetCDF-CF files of extracted fields, written through libnetcdf (netCDF-4).
#include "engine/engine.h"

#include "gpv/gpv.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <map>
#include <dlfcn.h>
#include <mutex>
#include <netcdf.h>
#include <set>
#include <sstream>
#include <tuple>
#include <type_traits>

namespace engine {

struct NetcdfWriter::Stored {
    Variable variable; // names and units; its lists are not used
    GridInfo grid;
    std::vector<double> lat, lon;
    std::map<std::tuple<int, double, int>, std::vector<float>> fields; // (hour, level, member)
};

namespace {

// libnetcdf, loaded when the first file is written: runs that write none
// start without it and the libraries it brings (HDF5, curl, ...).
struct NetcdfApi {
    decltype(&::nc_abort) abort;
    decltype(&::nc_close) close;
    decltype(&::nc_create) create;
    decltype(&::nc_def_dim) def_dim;
    decltype(&::nc_def_var) def_var;
    decltype(&::nc_def_var_chunking) def_var_chunking;
    decltype(&::nc_def_var_deflate) def_var_deflate;
    decltype(&::nc_def_var_fill) def_var_fill;
    decltype(&::nc_enddef) enddef;
    decltype(&::nc_inq_dimlen) inq_dimlen;
    decltype(&::nc_put_att_double) put_att_double;
    decltype(&::nc_put_att_text) put_att_text;
    decltype(&::nc_put_var_double) put_var_double;
    decltype(&::nc_put_vara_float) put_vara_float;
    decltype(&::nc_strerror) strerror;
};
const NetcdfApi* api = nullptr;

// Loads libnetcdf once; false with `why` set when it cannot be loaded.
bool load_netcdf(std::string& why) {
    static std::once_flag once;
    static std::string failure;
    static NetcdfApi loaded;
    std::call_once(once, [] {
        void* lib = dlopen(KIVAR_NETCDF_LIBRARY, RTLD_NOW | RTLD_LOCAL);
        if (!lib) {
            const char* e = dlerror();
            failure = e ? e : "cannot load " KIVAR_NETCDF_LIBRARY;
            return;
        }
        bool ok = true;
        auto get = [&](auto& f, const char* name) {
            f = reinterpret_cast<std::remove_reference_t<decltype(f)>>(dlsym(lib, name));
            if (!f) ok = false;
        };
        get(loaded.abort, "nc_abort");
        get(loaded.close, "nc_close");
        get(loaded.create, "nc_create");
        get(loaded.def_dim, "nc_def_dim");
        get(loaded.def_var, "nc_def_var");
        get(loaded.def_var_chunking, "nc_def_var_chunking");
        get(loaded.def_var_deflate, "nc_def_var_deflate");
        get(loaded.def_var_fill, "nc_def_var_fill");
        get(loaded.enddef, "nc_enddef");
        get(loaded.inq_dimlen, "nc_inq_dimlen");
        get(loaded.put_att_double, "nc_put_att_double");
        get(loaded.put_att_text, "nc_put_att_text");
        get(loaded.put_var_double, "nc_put_var_double");
        get(loaded.put_vara_float, "nc_put_vara_float");
        get(loaded.strerror, "nc_strerror");
        if (ok)
            api = &loaded;
        else
            failure = KIVAR_NETCDF_LIBRARY ": a routine is missing";
    });
    why = failure;
    return api != nullptr;
}

// A libnetcdf call that failed: its status, carried out of the writer.
struct Failed {
    int status;
};

void check(int status) {
    if (status != NC_NOERR) throw Failed{status};
}

void text_attribute(int nc, int var, const char* name, const std::string& value) {
    if (!value.empty()) check(api->put_att_text(nc, var, name, value.size(), value.c_str()));
}

void double_attribute(int nc, int var, const char* name, double value) {
    check(api->put_att_double(nc, var, name, NC_DOUBLE, 1, &value));
}

// The parameters of a PROJ definition ("+lat_0=25 +lon_0=140 ...").
std::map<std::string, double> proj_parameters(const std::string& proj) {
    std::map<std::string, double> p;
    std::istringstream in(proj);
    std::string word;
    while (in >> word) {
        const std::size_t eq = word.find('=');
        if (word[0] != '+' || eq == std::string::npos) continue;
        char* end = nullptr;
        const double v = std::strtod(word.c_str() + eq + 1, &end);
        if (end && *end == '\0') p[word.substr(1, eq - 1)] = v;
    }
    return p;
}

// The CF grid mapping of a projected grid's PROJ definition.
void grid_mapping_attributes(int nc, int var, const GridInfo& g) {
    auto p = proj_parameters(g.proj);
    auto get = [&](const char* k, double fallback = 0) {
        auto it = p.find(k);
        return it == p.end() ? fallback : it->second;
    };
    if (g.kind == "lambert") {
        text_attribute(nc, var, "grid_mapping_name", "lambert_conformal_conic");
        const double sp[2] = {get("lat_1"), get("lat_2", get("lat_1"))};
        check(api->put_att_double(nc, var, "standard_parallel", NC_DOUBLE, 2, sp));
        double_attribute(nc, var, "longitude_of_central_meridian", get("lon_0"));
        double_attribute(nc, var, "latitude_of_projection_origin", get("lat_0"));
    } else if (g.kind == "polar_stereographic") {
        text_attribute(nc, var, "grid_mapping_name", "polar_stereographic");
        double_attribute(nc, var, "straight_vertical_longitude_from_pole", get("lon_0"));
        double_attribute(nc, var, "latitude_of_projection_origin", get("lat_0"));
        double_attribute(nc, var, "standard_parallel", get("lat_ts", get("lat_0")));
    } else if (g.kind == "mercator") {
        text_attribute(nc, var, "grid_mapping_name", "mercator");
        double_attribute(nc, var, "longitude_of_projection_origin", get("lon_0"));
        double_attribute(nc, var, "standard_parallel", get("lat_ts"));
    }
    double_attribute(nc, var, "false_easting", 0);
    double_attribute(nc, var, "false_northing", 0);
    double_attribute(nc, var, "semi_major_axis", get("a", 6371229));
    double_attribute(nc, var, "semi_minor_axis", get("b", get("a", 6371229)));
    text_attribute(nc, var, "proj4_params", g.proj);
}

// Dimensions (with their coordinate variables) shared by name where their
// values agree, else numbered.
struct Dimensions {
    int nc;
    std::map<std::string, std::vector<std::pair<std::vector<double>, int>>> made;

    // The dimension of coordinate values `values` named `base`; `describe`
    // gives a new coordinate variable its attributes.
    template <class Describe>
    std::pair<int, std::string> get(const std::string& base, const std::vector<double>& values,
                                    Describe describe) {
        auto& list = made[base];
        for (std::size_t k = 0; k < list.size(); ++k)
            if (list[k].first == values)
                return {list[k].second, k ? base + "_" + std::to_string(k + 1) : base};
        const std::string name = list.empty() ? base : base + "_" + std::to_string(list.size() + 1);
        int dim = 0, var = 0;
        check(api->def_dim(nc, name.c_str(), values.size(), &dim));
        check(api->def_var(nc, name.c_str(), NC_DOUBLE, 1, &dim, &var));
        describe(var);
        check(api->put_var_double(nc, var, values.data()));
        list.emplace_back(values, dim);
        return {dim, name};
    }
};

std::string reference_units(const ReferenceTime& t) {
    char text[64];
    std::snprintf(text, sizeof text, "hours since %04d-%02d-%02d %02d:%02d:00", t.year, t.month,
                  t.day, t.hour, t.minute);
    return text;
}

// The grid dimensions of a stored variable, with their coordinate variables;
// fills dims (outermost first) and the names of the 2-D coordinates.
struct GridDims {
    std::vector<int> dims;
    std::string coordinates, mapping;
};

GridDims grid_dimensions(int nc, Dimensions& d, std::map<std::string, int>& counts,
                         const NetcdfWriter::Stored& s,
                         std::vector<std::tuple<int, const NetcdfWriter::Stored*>>& pending) {
    GridDims out;
    const GridInfo& g = s.grid;
    if (g.layout == GridLayout::LatLon) {
        auto lat = d.get("latitude", s.lat, [&](int v) {
            text_attribute(nc, v, "units", "degrees_north");
            text_attribute(nc, v, "standard_name", "latitude");
            text_attribute(nc, v, "long_name", "latitude");
        });
        auto lon = d.get("longitude", s.lon, [&](int v) {
            text_attribute(nc, v, "units", "degrees_east");
            text_attribute(nc, v, "standard_name", "longitude");
            text_attribute(nc, v, "long_name", "longitude");
        });
        out.dims = {lat.first, lon.first};
        return out;
    }
    // Projected and reduced grids: one set of dimensions per grid.
    const std::string suffix = counts[g.kind]++ ? "_" + std::to_string(counts[g.kind]) : "";
    int lat_var = 0, lon_var = 0;
    if (g.layout == GridLayout::Points) {
        int dim = 0;
        check(api->def_dim(nc, ("values" + suffix).c_str(), g.points, &dim));
        out.dims = {dim};
    } else {
        std::vector<double> y(g.rows), x(g.cols);
        for (int j = 0; j < g.rows; ++j)
            y[j] = g.y0 - j * g.dy;
        for (int i = 0; i < g.cols; ++i)
            x[i] = g.x0 + i * g.dx;
        const bool metres = !g.proj.empty();
        auto yd = d.get("y" + suffix, y, [&](int v) {
            if (!metres) return;
            text_attribute(nc, v, "units", "m");
            text_attribute(nc, v, "standard_name", "projection_y_coordinate");
        });
        auto xd = d.get("x" + suffix, x, [&](int v) {
            if (!metres) return;
            text_attribute(nc, v, "units", "m");
            text_attribute(nc, v, "standard_name", "projection_x_coordinate");
        });
        out.dims = {yd.first, xd.first};
        if (metres) {
            int crs = 0;
            out.mapping = "crs" + suffix;
            check(api->def_var(nc, out.mapping.c_str(), NC_INT, 0, nullptr, &crs));
            grid_mapping_attributes(nc, crs, g);
        }
    }
    const int n = static_cast<int>(out.dims.size());
    check(api->def_var(nc, ("latitude" + suffix).c_str(), NC_DOUBLE, n, out.dims.data(), &lat_var));
    check(
        api->def_var(nc, ("longitude" + suffix).c_str(), NC_DOUBLE, n, out.dims.data(), &lon_var));
    text_attribute(nc, lat_var, "units", "degrees_north");
    text_attribute(nc, lat_var, "standard_name", "latitude");
    text_attribute(nc, lon_var, "units", "degrees_east");
    text_attribute(nc, lon_var, "standard_name", "longitude");
    pending.emplace_back(lat_var, &s);
    pending.emplace_back(-lon_var - 1, &s);
    out.coordinates = "latitude" + suffix + " longitude" + suffix;
    return out;
}

} // namespace

bool netcdf_add(NetcdfWriter& w, const NetcdfField& f, Error& error) {
    std::shared_ptr<NetcdfWriter::Stored> s;
    for (auto& t : w.stored)
        if (t->variable.name == f.variable->name) s = t;
    if (!s) {
        s = std::make_shared<NetcdfWriter::Stored>();
        s->variable = *f.variable;
        s->variable.fields.clear();
        s->grid = *f.grid;
        s->lat = *f.lat, s->lon = *f.lon;
        w.stored.push_back(s);
    } else if (s->grid.points != f.grid->points || s->grid.cols != f.grid->cols ||
               s->lat != *f.lat || s->lon != *f.lon) {
        error.title = "save_GPV", error.kind = Error::Value;
        error.text = f.variable->name + ": fields on different grids";
        return false;
    }
    if (f.values.size() < f.grid->points) {
        error.title = "save_GPV", error.kind = Error::Value;
        error.text = f.variable->name + ": fewer values than grid points";
        return false;
    }
    s->fields[{f.hour, f.level, f.member}].assign(f.values.begin(),
                                                  f.values.begin() + f.grid->points);
    return true;
}

int netcdf_write(const NetcdfWriter& w, const std::string& path, Error& error) {
    // The temporary file is made and named as every output file's, so that a
    // signal handler removes it; libnetcdf then writes it anew.
    std::string why;
    if (!load_netcdf(why)) {
        error.title = "save_GPV", error.kind = Error::Output;
        error.text = path + ": " + why;
        return 0;
    }
    gpv::OutputFile out;
    if (!gpv::open_output(out, path, "wb")) {
        error.title = "save_GPV", error.kind = Error::Output;
        error.text = path + ": " + std::strerror(errno);
        return 0;
    }
    const std::string temp = out.temp;
    int nc = -1;
    try {
        check(api->create(temp.c_str(), NC_NETCDF4 | NC_CLOBBER, &nc));
        text_attribute(nc, NC_GLOBAL, "Conventions", "CF-1.8");
        text_attribute(nc, NC_GLOBAL, "title", w.title);
        text_attribute(nc, NC_GLOBAL, "source", "KIVAR");
        const std::string ref_units = reference_units(w.reference);
        // The run: a dimension of one, so that files of many runs stack.
        int time_var = 0, time_dim = 0;
        check(api->def_dim(nc, "time", 1, &time_dim));
        check(api->def_var(nc, "time", NC_DOUBLE, 1, &time_dim, &time_var));
        text_attribute(nc, time_var, "units", ref_units);
        text_attribute(nc, time_var, "standard_name", "forecast_reference_time");
        text_attribute(nc, time_var, "calendar", "proleptic_gregorian");

        Dimensions dims{nc, {}};
        std::map<std::string, int> grid_counts;
        std::vector<std::tuple<int, const NetcdfWriter::Stored*>> pending_coords;
        std::map<std::string, std::string> valid_time_of; // step dimension to its valid_time
        struct Planned {
            int var;
            const NetcdfWriter::Stored* s;
            std::vector<int> hours;
            std::vector<double> levels;
            std::vector<int> members;
        };
        std::vector<Planned> planned;
        for (const auto& sp : w.stored) {
            const NetcdfWriter::Stored& s = *sp;
            const Variable& v = s.variable;
            std::set<int> hs, ms;
            std::set<double> ls;
            for (const auto& [key, values] : s.fields) {
                hs.insert(std::get<0>(key));
                ls.insert(std::get<1>(key));
                ms.insert(std::get<2>(key));
            }
            Planned p{0, &s, {hs.begin(), hs.end()}, {ls.begin(), ls.end()}, {}};
            if (v.level_type == 100) std::reverse(p.levels.begin(), p.levels.end());
            if (!(ms.size() == 1 && *ms.begin() == -1)) p.members.assign(ms.begin(), ms.end());

            std::vector<double> steps(p.hours.begin(), p.hours.end());
            auto step = dims.get("step", steps, [&](int var) {
                text_attribute(nc, var, "units", "hours");
                text_attribute(nc, var, "standard_name", "forecast_period");
                text_attribute(nc, var, "long_name", "time since forecast_reference_time");
            });
            if (!valid_time_of.count(step.second)) {
                const std::string name = "valid_time" + step.second.substr(4);
                int var = 0;
                const int vt_dims[2] = {time_dim, step.first};
                check(api->def_var(nc, name.c_str(), NC_DOUBLE, 2, vt_dims, &var));
                text_attribute(nc, var, "units", ref_units);
                text_attribute(nc, var, "standard_name", "time");
                text_attribute(nc, var, "calendar", "proleptic_gregorian");
                check(api->put_var_double(nc, var, steps.data()));
                valid_time_of[step.second] = name;
            }
            auto level = dims.get(v.level_kind, p.levels, [&](int var) {
                text_attribute(nc, var, "units", v.level_units);
                text_attribute(nc, var, "long_name", v.level_kind + " level");
                if (v.level_kind == "isobaric") {
                    text_attribute(nc, var, "standard_name", "air_pressure");
                    text_attribute(nc, var, "positive", "down");
                } else if (v.level_kind == "height") {
                    text_attribute(nc, var, "standard_name", "height");
                    text_attribute(nc, var, "positive", "up");
                }
                text_attribute(nc, var, "axis", "Z");
            });
            std::vector<int> var_dims = {time_dim, step.first, level.first};
            if (!p.members.empty()) {
                std::vector<double> m(p.members.begin(), p.members.end());
                var_dims.push_back(dims.get("number", m,
                                            [&](int var) {
                                                text_attribute(nc, var, "long_name",
                                                               "ensemble member numerical id");
                                                text_attribute(nc, var, "standard_name",
                                                               "realization");
                                            })
                                       .first);
            }
            GridDims g = grid_dimensions(nc, dims, grid_counts, s, pending_coords);
            var_dims.insert(var_dims.end(), g.dims.begin(), g.dims.end());
            check(api->def_var(nc, v.name.c_str(), NC_FLOAT, static_cast<int>(var_dims.size()),
                               var_dims.data(), &p.var));
            std::vector<std::size_t> chunk(var_dims.size(), 1);
            for (std::size_t k = 0; k < g.dims.size(); ++k) {
                std::size_t len = 0;
                check(api->inq_dimlen(nc, g.dims[k], &len));
                chunk[var_dims.size() - g.dims.size() + k] = len;
            }
            check(api->def_var_chunking(nc, p.var, NC_CHUNKED, chunk.data()));
            check(api->def_var_deflate(nc, p.var, 1, 1, 1));
            const float fill = NAN;
            check(api->def_var_fill(nc, p.var, NC_FILL, &fill));
            text_attribute(nc, p.var, "long_name", v.long_name);
            text_attribute(nc, p.var, "units", v.units);
            text_attribute(nc, p.var, "standard_name", v.standard_name);
            text_attribute(nc, p.var, "grid_mapping", g.mapping);
            std::string coordinates = valid_time_of[step.second];
            if (!g.coordinates.empty()) coordinates += " " + g.coordinates;
            text_attribute(nc, p.var, "coordinates", coordinates);
            text_attribute(nc, p.var, "grid_type", s.grid.kind);
            planned.push_back(std::move(p));
        }
        check(api->enddef(nc));
        const double zero = 0;
        check(api->put_var_double(nc, time_var, &zero));
        for (const auto& [var, s] : pending_coords)
            check(api->put_var_double(nc, var >= 0 ? var : -var - 1,
                                      var >= 0 ? s->lat.data() : s->lon.data()));
        for (const Planned& p : planned) {
            const NetcdfWriter::Stored& s = *p.s;
            const bool members = !p.members.empty();
            const std::size_t rank = 3 + members + (s.grid.layout == GridLayout::Points ? 1 : 2);
            std::vector<std::size_t> start(rank, 0), count(rank, 1);
            if (s.grid.layout == GridLayout::Points)
                count[rank - 1] = s.grid.points;
            else
                count[rank - 2] = s.grid.rows, count[rank - 1] = s.grid.cols;
            for (const auto& [key, values] : s.fields) {
                start[1] = std::lower_bound(p.hours.begin(), p.hours.end(), std::get<0>(key)) -
                           p.hours.begin();
                start[2] = std::find(p.levels.begin(), p.levels.end(), std::get<1>(key)) -
                           p.levels.begin();
                if (members)
                    start[3] =
                        std::lower_bound(p.members.begin(), p.members.end(), std::get<2>(key)) -
                        p.members.begin();
                check(api->put_vara_float(nc, p.var, start.data(), count.data(), values.data()));
            }
        }
        const int closing = nc;
        nc = -1;
        check(api->close(closing));
    } catch (const Failed& f) {
        if (nc >= 0) api->abort(nc);
        gpv::discard_output(out);
        error.title = "save_GPV", error.kind = Error::Output;
        error.text = path + ": " + api->strerror(f.status);
        return 0;
    }
    if (!gpv::commit_output(out)) {
        error.title = "save_GPV", error.kind = Error::Output;
        error.text = path + ": " + std::strerror(errno);
        return 0;
    }
    return 1;
}

int write_netcdf(Dataset& d, const std::vector<std::string>& names, const std::string& path,
                 Error& error) {
    error = Error{};
    const Inventory& inv = inventory(d);
    NetcdfWriter w;
    w.reference = {inv.year, inv.month, inv.day, inv.hour, inv.minute};
    w.title = inv.model + " " + inv.path;
    std::vector<int> chosen;
    for (const std::string& name : names) {
        const int v = find_variable(d, name);
        if (v < 0) {
            error.title = "kivar", error.kind = Error::Value;
            error.text = inv.path + ": no variable " + name;
            return 0;
        }
        chosen.push_back(v);
    }
    if (names.empty())
        for (std::size_t k = 0; k < inv.variables.size(); ++k)
            chosen.push_back(static_cast<int>(k));
    std::vector<float> values;
    for (int vi : chosen) {
        const Variable& v = inv.variables[vi];
        const GridInfo& g = inv.grids[v.grid];
        std::vector<double> lat, lon;
        if (!grid_coordinates(d, v.grid, lat, lon, error)) return 0;
        values.resize(g.points);
        const std::size_t members = v.members.empty() ? 1 : v.members.size();
        for (std::size_t h = 0; h < v.hours.size(); ++h)
            for (std::size_t l = 0; l < v.levels.size(); ++l)
                for (std::size_t m = 0; m < members; ++m) {
                    if (v.fields[v.field_index(h, l, m)] < 0) continue;
                    if (!read_field(d, vi, static_cast<int>(h), static_cast<int>(l),
                                    static_cast<int>(m), values, error))
                        return 0;
                    NetcdfField f{
                        &v, v.levels[l], v.hours[h], v.members.empty() ? -1 : v.members[m],
                        &g, &lat,        &lon,       values};
                    if (!netcdf_add(w, f, error)) return 0;
                }
    }
    return netcdf_write(w, path, error);
}

} // namespace engine
