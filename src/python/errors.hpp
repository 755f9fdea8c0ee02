#pragma once
// How failures cross the boundary: the module's panic exception, the one
// diagnostic line on stderr, and the catch-all that every entry point runs
// under so that no C++ exception ever reaches the interpreter.
#include <Python.h>

#include <exception>
#include <new>
#include <source_location>

#include "panic.hpp"

namespace tourloom::python {

// The class `PanicException` (a subclass of BaseException, registered as
// "tourloom_runtime.PanicException"), created on first use and kept for the
// life of the process. A borrowed reference, or null with an error set.
PyObject* panic_exception_type() noexcept;

// Writes "tourloom: panicked at FILE:LINE:COLUMN: MESSAGE" to sys.stderr and
// raises PanicException(message).
void raise_panic(const char* message, const std::source_location& where) noexcept;

// SystemError for a C++ exception that is neither a panic nor bad_alloc.
void raise_system_error(const char* what) noexcept;

// Runs `body` and returns its result; a C++ exception becomes the matching
// Python error (Panic -> PanicException, bad_alloc -> MemoryError, anything
// else -> SystemError) and `failure` is returned instead.
template <class R, class F>
R guarded(R failure, F&& body) noexcept {
    try {
        return body();
    } catch (const Panic& p) {
        raise_panic(p.message().c_str(), p.where());
    } catch (const std::bad_alloc&) {
        PyErr_NoMemory();
    } catch (const std::exception& e) {
        raise_system_error(e.what());
    } catch (...) {
        raise_system_error(nullptr);
    }
    return failure;
}

}  // namespace tourloom::python
