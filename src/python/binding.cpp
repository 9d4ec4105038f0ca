// Faults, raising and argument binding for the functions of the module.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <fmt/format.h>

#include "python/boundary.h"

namespace korvel::py {

namespace {

PyObject* g_fault_type = nullptr;  // owned for the life of the process

constexpr const char* kGenericFault = "internal fault in korvel";

[[noreturn]] void abort_at_boundary() noexcept {
    std::fputs("uncaught panic at ffi boundary\n", stderr);
    std::fflush(stderr);
    std::abort();
}

// Sets TypeError "'{type name}' object cannot be converted to 'PyString'".
void raise_not_text(PyObject* value) {
    // Interned once: a fresh attribute name per call would churn the type lookup cache.
    static PyObject* name_attr = PyUnicode_InternFromString("__name__");
    if (!name_attr) {
        name_attr = PyUnicode_InternFromString("__name__");
        if (!name_attr) return;
    }
    Ref name(PyObject_GetAttr(reinterpret_cast<PyObject*>(Py_TYPE(value)), name_attr));
    if (!name) return;
    Ref message(PyUnicode_FromFormat("'%S' object cannot be converted to 'PyString'", name.get()));
    if (message) PyErr_SetObject(PyExc_TypeError, message.get());
}

// "'a'", "'a' and 'b'", "'a', 'b' and 'c'".
std::string quoted_list(const std::vector<const char*>& names) {
    std::string out;
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (i > 0) out += i + 1 == names.size() ? " and " : ", ";
        out += fmt::format("'{}'", names[i]);
    }
    return out;
}

}  // namespace

bool init_fault_type() {
    if (g_fault_type) return true;
    g_fault_type = PyErr_NewException("korvel.PanicException", PyExc_BaseException, nullptr);
    return g_fault_type != nullptr;
}

PyObject* fault_type() { return g_fault_type; }

void raise_fault(const char* what) noexcept {
    const char* text = what && *what ? what : kGenericFault;
    if (!init_fault_type()) abort_at_boundary();
    PyObject* message = PyUnicode_DecodeUTF8(text, static_cast<Py_ssize_t>(std::strlen(text)), "replace");
    if (!message) abort_at_boundary();
    PyErr_SetObject(g_fault_type, message);
    Py_DECREF(message);
}

PyObject* raise(PyObject* type, std::string_view message) {
    Ref text(PyUnicode_DecodeUTF8(message.data(), static_cast<Py_ssize_t>(message.size()), "replace"));
    if (text) PyErr_SetObject(type, text.get());
    return nullptr;
}

PyObject* raise_value_error(std::string_view message) { return raise(PyExc_ValueError, message); }

PyObject* text_to_py(std::string_view text) {
    // Every text the workers write is UTF-8 already; replacement only guards the boundary.
    return PyUnicode_DecodeUTF8(text.data(), static_cast<Py_ssize_t>(text.size()), "replace");
}

bool bind(const Signature& sig, PyObject* args, PyObject* kwargs, std::array<PyObject*, 3>& out) {
    out.fill(nullptr);
    Py_ssize_t given = PyTuple_Size(args);
    if (given < 0) return false;
    auto n = static_cast<std::size_t>(given);
    if (n > sig.count) {
        const char* verb = n == 1 ? "was" : "were";
        if (sig.required == sig.count)
            raise(PyExc_TypeError, fmt::format("{}() takes {} positional arguments but {} {} given", sig.name,
                                               sig.count, n, verb));
        else
            raise(PyExc_TypeError, fmt::format("{}() takes from {} to {} positional arguments but {} {} given",
                                               sig.name, sig.required, sig.count, n, verb));
        return false;
    }
    for (std::size_t i = 0; i < n; ++i) out[i] = PyTuple_GetItem(args, static_cast<Py_ssize_t>(i));

    if (kwargs) {
        Py_ssize_t pos = 0;
        PyObject* key;
        PyObject* value;
        while (PyDict_Next(kwargs, &pos, &key, &value)) {
            if (!PyUnicode_Check(key)) {
                raise(PyExc_TypeError, fmt::format("{}() keywords must be strings", sig.name));
                return false;
            }
            std::size_t slot = sig.count;
            for (std::size_t i = 0; i < sig.count; ++i) {
                if (PyUnicode_CompareWithASCIIString(key, sig.params[i]) == 0) {
                    slot = i;
                    break;
                }
            }
            if (slot == sig.count) {
                Ref message(PyUnicode_FromFormat("%s() got an unexpected keyword argument '%U'", sig.name, key));
                if (message) PyErr_SetObject(PyExc_TypeError, message.get());
                return false;
            }
            if (out[slot]) {
                raise(PyExc_TypeError,
                      fmt::format("{}() got multiple values for argument '{}'", sig.name, sig.params[slot]));
                return false;
            }
            out[slot] = value;
        }
    }

    std::vector<const char*> missing;
    for (std::size_t i = 0; i < sig.required; ++i)
        if (!out[i]) missing.push_back(sig.params[i]);
    if (!missing.empty()) {
        raise(PyExc_TypeError, fmt::format("{}() missing {} required positional argument{}: {}", sig.name,
                                           missing.size(), missing.size() == 1 ? "" : "s", quoted_list(missing)));
        return false;
    }
    return true;
}

std::optional<std::string> to_text(PyObject* value) {
    if (!PyUnicode_Check(value)) {
        raise_not_text(value);
        return std::nullopt;
    }
    Ref bytes(PyUnicode_AsUTF8String(value));
    if (!bytes) return std::nullopt;
    char* data = nullptr;
    Py_ssize_t size = 0;
    if (PyBytes_AsStringAndSize(bytes.get(), &data, &size) < 0) return std::nullopt;
    return std::string(data, static_cast<std::size_t>(size));
}

std::optional<std::string> text_argument(const char* param, PyObject* value) {
    auto text = to_text(value);
    if (text || !PyErr_ExceptionMatches(PyExc_TypeError)) return text;
    PyObject* type;
    PyObject* raised;
    PyObject* trace;
    PyErr_Fetch(&type, &raised, &trace);
    PyErr_NormalizeException(&type, &raised, &trace);
    Ref type_ref(type), raised_ref(raised), trace_ref(trace);
    Ref inner(raised ? PyObject_Str(raised) : PyUnicode_FromString(""));
    if (!inner) return std::nullopt;
    Ref message(PyUnicode_FromFormat("argument '%s': %U", param, inner.get()));
    if (message) PyErr_SetObject(PyExc_TypeError, message.get());
    return std::nullopt;
}

}  // namespace korvel::py
