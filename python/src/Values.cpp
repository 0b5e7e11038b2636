// Python values checked and converted for the effects' table.

#include <cmath>
#include <limits>

#include "Binding.h"

namespace orvane::python {

std::string snakeCase(std::string_view name) {
    std::string snake;
    for (char c : name) {
        if (c >= 'A' && c <= 'Z')
            snake += {'_', static_cast<char>(c - 'A' + 'a')};
        else
            snake += c;
    }
    return snake;
}

py::object toPython(const ParameterValue& value) {
    if (const bool* flag = std::get_if<bool>(&value)) return py::bool_(*flag);
    if (const unsigned int* whole = std::get_if<unsigned int>(&value)) return py::int_(*whole);
    return py::float_(std::stod(render::shortest(std::get<float>(value))));
}

namespace {

std::string typeName(const py::handle& value) { return py::str(value.get_type().attr("__name__")); }

}  // namespace

ParameterValue checkedValue(std::string_view effect, const EffectParameter& parameter, const py::handle& value) {
    const std::string where = std::string(effect) + "." + snakeCase(parameter.name);
    const bool isBool = PyBool_Check(value.ptr()) || py::isinstance(value, py::module_::import("numpy").attr("bool_"));
    const auto outside = [&] {
        return py::value_error(where + " must be " + render::rangeText(parameter) + "; got " +
                               std::string(py::repr(value)));
    };
    if (parameter.kind == ParameterKind::Boolean) {
        if (!isBool) throw py::type_error(where + " takes a bool, not " + typeName(value));
        return value.cast<bool>();
    }
    if (parameter.kind == ParameterKind::Int) {
        if (isBool || !PyIndex_Check(value.ptr()))
            throw py::type_error(where + " takes an int, not " + typeName(value));
        const py::int_ whole = py::reinterpret_steal<py::int_>(PyNumber_Index(value.ptr()));
        if (!(whole >= py::int_(static_cast<long>(parameter.minimum)) &&
              whole <= py::int_(static_cast<long>(parameter.maximum))))
            throw outside();
        return parameter.fromNumber(static_cast<float>(whole.cast<long>()));
    }
    if (isBool || !(PyFloat_Check(value.ptr()) || PyIndex_Check(value.ptr()) || py::hasattr(value, "__float__")) ||
        py::isinstance<py::str>(value))
        throw py::type_error(where + " takes a float, not " + typeName(value));
    const auto number =
        static_cast<float>(PyFloat_AsDouble(py::float_(py::reinterpret_borrow<py::object>(value)).ptr()));
    if (!(number >= parameter.minimum && number <= parameter.maximum)) throw outside();
    return number;
}

std::uint64_t wholeNumber(const char* name, const py::handle& value, std::uint64_t maximum) {
    if (PyBool_Check(value.ptr()) || !PyIndex_Check(value.ptr()))
        throw py::value_error(std::string(name) + " must be a whole number from 1 to " + std::to_string(maximum) +
                              "; got " + std::string(py::repr(value)));
    const py::int_ whole = py::reinterpret_steal<py::int_>(PyNumber_Index(value.ptr()));
    if (whole < py::int_(0)) return 0;
    if (whole > py::int_(std::numeric_limits<std::uint64_t>::max())) return std::numeric_limits<std::uint64_t>::max();
    return whole.cast<std::uint64_t>();
}

}  // namespace orvane::python
