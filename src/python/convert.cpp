// JSON values across the boundary, both ways through Python's `json` module.
#include "python/boundary.h"

namespace korvel::py {

PyObject* json_to_py(const json::Value& value) {
    Ref module(PyImport_ImportModule("json"));
    if (!module) return nullptr;
    auto text = json::write_strict(value);
    if (!text) return raise(PyExc_RuntimeError, text.error());
    Ref loads(PyObject_GetAttrString(module.get(), "loads"));
    if (!loads) return nullptr;
    Ref arg(PyUnicode_DecodeUTF8(text->data(), static_cast<Py_ssize_t>(text->size()), nullptr));
    if (!arg) return nullptr;
    return PyObject_CallFunctionObjArgs(loads.get(), arg.get(), nullptr);
}

std::optional<json::Value> query_to_json(PyObject* query) {
    Ref module(PyImport_ImportModule("json"));
    if (!module) return std::nullopt;
    Ref dumps(PyObject_GetAttrString(module.get(), "dumps"));
    if (!dumps) return std::nullopt;
    Ref dumped(PyObject_CallFunctionObjArgs(dumps.get(), query, nullptr));
    if (!dumped) return std::nullopt;
    auto text = to_text(dumped.get());
    if (!text) return std::nullopt;
    auto value = json::read(*text);
    if (!value) {
        raise(PyExc_RuntimeError, value.error().text());
        return std::nullopt;
    }
    return std::move(*value);
}

}  // namespace korvel::py
