// Shared pieces of the Python boundary: owned references, the fault guard,
// argument binding, conversions and the loading path common to all functions.
#pragma once

#include <Python.h>

#include <array>
#include <cstddef>
#include <exception>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "core/json.h"
#include "core/project.h"
#include "core/validate.h"

namespace korvel::py {

// An owned reference, released on every path out of a scope (C++ unwinding included).
class Ref {
public:
    Ref() = default;
    explicit Ref(PyObject* owned) : p_(owned) {}
    Ref(const Ref&) = delete;
    Ref& operator=(const Ref&) = delete;
    Ref(Ref&& o) noexcept : p_(std::exchange(o.p_, nullptr)) {}
    Ref& operator=(Ref&& o) noexcept {
        if (this != &o) {
            Py_XDECREF(p_);
            p_ = std::exchange(o.p_, nullptr);
        }
        return *this;
    }
    ~Ref() { Py_XDECREF(p_); }

    PyObject* get() const { return p_; }
    PyObject* release() { return std::exchange(p_, nullptr); }
    explicit operator bool() const { return p_ != nullptr; }

private:
    PyObject* p_ = nullptr;
};

// --- faults ---------------------------------------------------------------

// Sets the internal-fault exception (a direct BaseException subclass) with
// `what`, or a fixed text when it is empty; aborts the process if even that fails.
void raise_fault(const char* what) noexcept;

// Runs one call body so that no C++ exception reaches the interpreter.
template <class F>
PyObject* guard(F&& body) noexcept {
    try {
        return body();
    } catch (const std::exception& e) {
        raise_fault(e.what());
    } catch (...) {
        raise_fault(nullptr);
    }
    return nullptr;
}

// Creates the internal-fault exception type once per process; false with an
// exception set on failure.
bool init_fault_type();
PyObject* fault_type();

// --- raising --------------------------------------------------------------

// Raises `type` with a UTF-8 message (invalid bytes replaced); always returns nullptr.
PyObject* raise(PyObject* type, std::string_view message);
PyObject* raise_value_error(std::string_view message);

// A UTF-8 text (SQL, Markdown) as a Python `str`.
PyObject* text_to_py(std::string_view text);

// --- argument binding -----------------------------------------------------

struct Signature {
    const char* name;                    // table name, shown as "name()"
    std::array<const char*, 3> params;   // parameter names in order
    std::size_t count;                   // parameters in use
    std::size_t required;                // the leading `required` ones have no default
};

// Binds positional and keyword arguments to the parameters of `sig`: each slot
// of `out` gets a borrowed reference, or nullptr when omitted. False with a
// TypeError set on a binding fault.
bool bind(const Signature& sig, PyObject* args, PyObject* kwargs, std::array<PyObject*, 3>& out);

// A `str` (subclasses included) as UTF-8 text; anything else raises TypeError
// "'{type name}' object cannot be converted to 'PyString'".
std::optional<std::string> to_text(PyObject* value);

// A `str` argument (subclasses included) as UTF-8 text. A conversion TypeError is
// rewrapped as "argument '{param}': {message}"; other exceptions pass through.
std::optional<std::string> text_argument(const char* param, PyObject* value);

// --- conversion -----------------------------------------------------------

// A JSON value as the Python object `json.loads` makes of its compact text.
PyObject* json_to_py(const json::Value& value);

// The query object as a JSON value: `json.dumps` then the strict reader.
// Nothing with an exception set on failure.
std::optional<json::Value> query_to_json(PyObject* query);

// --- the loading path -----------------------------------------------------

// The project at `path`, or nothing with ValueError(load error text) set.
std::optional<Project> load(std::string_view path);

// Refuses a project with validation findings: with any finding, sets ValueError
// "project has validation errors: {file}: {message}; ..." and returns true;
// with none returns false and the call goes on.
bool refuse_invalid_project(const std::vector<Issue>& findings);

}  // namespace korvel::py
