#include "errors.hpp"

#include <cstring>

#include "py_ref.hpp"

namespace tourloom::python {
namespace {

constexpr const char* panic_exception_doc =
    "Raised when tourloom's native code panics: an internal precondition broke and the\n"
    "call could not go on.\n"
    "\n"
    "Like SystemExit, it derives from BaseException, not from Exception, so it is\n"
    "normally not caught by handlers for ordinary errors: it typically propagates\n"
    "all the way up the stack and makes the interpreter exit.";

// Source paths name the build machine's checkout; the part from "src/" on is
// what identifies the place.
const char* short_path(const char* file) noexcept {
    const char* best = file;
    for (const char* p = std::strstr(file, "src/"); p != nullptr; p = std::strstr(p + 1, "src/")) best = p;
    return best;
}

PyObject* g_panic_exception = nullptr;  // owned for the life of the process

}  // namespace

PyObject* panic_exception_type() noexcept {
    if (g_panic_exception == nullptr) {
        g_panic_exception = PyErr_NewExceptionWithDoc("tourloom_runtime.PanicException", panic_exception_doc,
                                                      PyExc_BaseException, nullptr);
    }
    return g_panic_exception;
}

void raise_panic(const char* message, const std::source_location& where) noexcept {
    // Written before any error is set: PySys_WriteStderr keeps a pending
    // error intact, but there is none to keep here.
    PySys_WriteStderr("tourloom: panicked at %.200s:%u:%u: %.700s\n", short_path(where.file_name()),
                      static_cast<unsigned>(where.line()), static_cast<unsigned>(where.column()), message);
    PyObject* type = panic_exception_type();
    if (type == nullptr) return;
    PyRef text = PyRef::steal(PyUnicode_FromString(message));
    if (!text) return;
    PyRef exc = PyRef::steal(PyObject_CallFunctionObjArgs(type, text.get(), nullptr));
    if (!exc) return;
    PyErr_SetObject(type, exc.get());
}

void raise_system_error(const char* what) noexcept {
    PyErr_SetString(PyExc_SystemError, what != nullptr && *what != '\0' ? what : "unexpected C++ exception");
}

}  // namespace tourloom::python
