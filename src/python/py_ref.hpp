#pragma once
// A move-only handle that owns one strong reference to a Python object (or
// none). Wrap every new reference on the line that creates it; hand
// ownership over with release() only at the call that takes it.
#include <Python.h>

#include <utility>

namespace tourloom::python {

class PyRef {
public:
    static PyRef steal(PyObject* o) noexcept { return PyRef(o); }
    static PyRef borrow(PyObject* o) noexcept {
        Py_XINCREF(o);
        return PyRef(o);
    }

    PyRef() noexcept = default;
    PyRef(PyRef&& o) noexcept : p_(std::exchange(o.p_, nullptr)) {}
    PyRef& operator=(PyRef&& o) noexcept {
        PyRef t(std::move(o));
        std::swap(p_, t.p_);
        return *this;
    }
    PyRef(const PyRef&) = delete;
    PyRef& operator=(const PyRef&) = delete;
    ~PyRef() { Py_XDECREF(p_); }

    PyObject* get() const noexcept { return p_; }
    [[nodiscard]] PyObject* release() noexcept { return std::exchange(p_, nullptr); }
    explicit operator bool() const noexcept { return p_ != nullptr; }

private:
    explicit PyRef(PyObject* o) noexcept : p_(o) {}
    PyObject* p_ = nullptr;
};

}  // namespace tourloom::python
