// The `korvel` module: its six functions, in table order, and its initialiser.
//
// Every function binds and converts its arguments, loads the project where it
// takes one, hands it to exactly one worker and converts the worker's result.
#include <cstdint>

#include <fmt/format.h>

#include "core/bundle.h"
#include "core/context.h"
#include "core/lint.h"
#include "core/schema.h"
#include "core/validate.h"
#include "python/boundary.h"
#include "sql/dialect.h"
#include "sql/plan.h"
#include "sql/render.h"

namespace korvel::py {
namespace {

constexpr Signature kPathOnly[] = {
    {"validate", {"path"}, 1, 1},
    {"lint", {"path"}, 1, 1},
    {"compile_bundle", {"path"}, 1, 1},
    {"context_markdown", {"path"}, 1, 1},
};
constexpr const Signature& kValidate = kPathOnly[0];
constexpr const Signature& kLint = kPathOnly[1];
constexpr const Signature& kCompileBundle = kPathOnly[2];
constexpr const Signature& kContextMarkdown = kPathOnly[3];
constexpr Signature kGenerateSql = {"generate_sql", {"path", "query", "dialect"}, 3, 2};

// Binds the single `path` argument, converts it and loads the project.
std::optional<Project> project_argument(const Signature& sig, PyObject* args, PyObject* kwargs) {
    std::array<PyObject*, 3> bound;
    if (!bind(sig, args, kwargs, bound)) return std::nullopt;
    auto path = text_argument("path", bound[0]);
    if (!path) return std::nullopt;
    return load(*path);
}

PyObject* py_validate(PyObject*, PyObject* args, PyObject* kwargs) {
    return guard([&]() -> PyObject* {
        auto project = project_argument(kValidate, args, kwargs);
        if (!project) return nullptr;
        return json_to_py(issues_to_json(validate(*project)));
    });
}

PyObject* py_lint(PyObject*, PyObject* args, PyObject* kwargs) {
    return guard([&]() -> PyObject* {
        auto project = project_argument(kLint, args, kwargs);
        if (!project) return nullptr;
        return json_to_py(issues_to_json(lint(*project)));
    });
}

PyObject* py_compile_bundle(PyObject*, PyObject* args, PyObject* kwargs) {
    return guard([&]() -> PyObject* {
        auto project = project_argument(kCompileBundle, args, kwargs);
        if (!project) return nullptr;
        if (refuse_invalid_project(validate(*project))) return nullptr;
        return json_to_py(to_json(compile(*project)));
    });
}

PyObject* py_generate_sql(PyObject*, PyObject* args, PyObject* kwargs) {
    return guard([&]() -> PyObject* {
        std::array<PyObject*, 3> bound;
        if (!bind(kGenerateSql, args, kwargs, bound)) return nullptr;
        auto path = text_argument("path", bound[0]);
        if (!path) return nullptr;
        PyObject* query = bound[1];
        std::string dialect_name = "duckdb";
        if (bound[2]) {
            auto given = text_argument("dialect", bound[2]);
            if (!given) return nullptr;
            dialect_name = std::move(*given);
        }

        // A load failure wins over every later one, an unknown dialect included.
        auto project = load(*path);
        if (!project) return nullptr;
        auto dialect = sql::from_str_loose(dialect_name);
        if (!dialect) return raise_value_error(fmt::format("unknown dialect `{}`", dialect_name));
        auto query_json = query_to_json(query);
        if (!query_json) return nullptr;
        auto semantic_query = sql::plan::read_query(*query_json);
        if (!semantic_query) return raise_value_error(fmt::format("bad query: {}", semantic_query.error()));
        auto statement = sql::generate_sql(*project, *semantic_query, *dialect);
        // The error's JSON text is the message, so json.loads(str(err)) gives it back.
        if (!statement) return raise_value_error(statement.error().to_json());
        return text_to_py(*statement);
    });
}

PyObject* py_model_json_schema(PyObject*, PyObject*) {
    return guard([&]() -> PyObject* { return json_to_py(model_json_schema()); });
}

PyObject* py_context_markdown(PyObject*, PyObject* args, PyObject* kwargs) {
    return guard([&]() -> PyObject* {
        auto project = project_argument(kContextMarkdown, args, kwargs);
        if (!project) return nullptr;
        if (refuse_invalid_project(validate(*project))) return nullptr;
        return text_to_py(context_markdown(*project));
    });
}

template <class F>
PyCFunction as_cfunction(F f) {
    return reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(f));
}

// The order here is the order of the module's attributes and of `__all__`.
PyMethodDef g_functions[] = {
    {"validate", as_cfunction(py_validate), METH_VARARGS | METH_KEYWORDS,
     "validate(path)\n--\n\nValidate a project. Returns a list of {file, message} dicts; empty = valid."},
    {"lint", as_cfunction(py_lint), METH_VARARGS | METH_KEYWORDS,
     "lint(path)\n--\n\nLint a project. Returns a list of {file, message} warning dicts."},
    {"compile_bundle", as_cfunction(py_compile_bundle), METH_VARARGS | METH_KEYWORDS,
     "compile_bundle(path)\n--\n\nCompile a project into a context bundle, returned as a dict."},
    {"generate_sql", as_cfunction(py_generate_sql), METH_VARARGS | METH_KEYWORDS,
     "generate_sql(path, query, dialect=\"duckdb\")\n--\n\nGenerate SQL for a semantic query.\n\n"
     "`query` is a dict: {\"metrics\": [...], \"dimensions\": [...], \"filters\":\n"
     "[...], \"grain\": \"day\", \"limit\": 100}. Raises ValueError whose message is\n"
     "a JSON object with a `code` field agents can branch on."},
    {"model_json_schema", as_cfunction(py_model_json_schema), METH_NOARGS,
     "model_json_schema()\n--\n\nJSON Schema for model files, as a dict."},
    {"context_markdown", as_cfunction(py_context_markdown), METH_VARARGS | METH_KEYWORDS,
     "context_markdown(path)\n--\n\nRender the project as agent-ready markdown."},
};

// No per-interpreter state (size 0), so a re-import calls the initialiser
// again, which hands back the remembered module.
PyModuleDef g_module_def = {PyModuleDef_HEAD_INIT, "korvel", "", 0, nullptr, nullptr, nullptr, nullptr, nullptr};

PyObject* g_module = nullptr;  // owned for the life of the process
std::int64_t g_interpreter = -1;

PyObject* create_module() {
    if (!init_fault_type()) return nullptr;
    Ref module(PyModule_Create(&g_module_def));
    if (!module) return nullptr;
    Ref all(PyList_New(0));
    if (!all || PyObject_SetAttrString(module.get(), "__all__", all.get()) < 0) return nullptr;
    Ref module_name(PyUnicode_FromString("korvel"));
    if (!module_name) return nullptr;
    for (auto& def : g_functions) {
        Ref function(PyCFunction_NewEx(&def, module.get(), module_name.get()));
        if (!function || PyObject_SetAttrString(module.get(), def.ml_name, function.get()) < 0) return nullptr;
        Ref name(PyUnicode_FromString(def.ml_name));
        if (!name || PyList_Append(all.get(), name.get()) < 0) return nullptr;
    }
    if (PyObject_SetAttrString(module.get(), "PanicException", fault_type()) < 0) return nullptr;
    return module.release();
}

}  // namespace
}  // namespace korvel::py

PyMODINIT_FUNC PyInit_korvel() {
    using namespace korvel::py;
    return guard([]() -> PyObject* {
        std::int64_t interpreter = PyInterpreterState_GetID(PyInterpreterState_Get());
        if (interpreter < 0) return nullptr;
        if (g_module) {
            if (interpreter != g_interpreter)
                return raise(PyExc_ImportError,
                             "korvel is already loaded by another interpreter of this process "
                             "and cannot be loaded by a second one");
            Py_INCREF(g_module);
            return g_module;
        }
        PyObject* module = create_module();
        if (!module) return nullptr;
        Py_INCREF(module);
        g_module = module;
        g_interpreter = interpreter;
        return module;
    });
}
