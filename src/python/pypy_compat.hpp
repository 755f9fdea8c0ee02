#pragma once
// The few places where PyPy's C-API layer differs from CPython's in a way
// the binding has to work around.
//
// 1. Debian's PyPy headers declare the 64-bit integer conversions with
//    word-sized types. On 32-bit x86 the library itself still takes and
//    returns 64-bit values, so calling through the header's prototype
//    silently garbles every value. There the exported symbols are called
//    through prototypes of our own with the true 64-bit types.
// 2. PyPy 3.9 has no PyModule_GetNameObject; a module's `__name__` attribute
//    serves the same purpose on every interpreter.
// 3. PyPy sizes the C copy of a str subclass by the object's own __len__,
//    which may disagree with its text; str() and str.__str__ of such an
//    object give an exact str that carries the same wrong length. Reading
//    either as UTF-8 gives a cut text, and formatting it with %U writes past
//    its buffer. Text that comes from outside is read through exact_text.
#include <Python.h>

#include <cstdint>

// The word size comes from the compiler: the PyPy headers are shared by all
// architectures and state SIZEOF_VOID_P 8 even in a 32-bit build.
#if defined(PYPY_VERSION) && (__SIZEOF_POINTER__ == 4)
#define TOURLOOM_PYPY_32BIT 1
extern "C" {
unsigned long long tourloom_pypy_as_u64(PyObject* o) __asm__("PyPyLong_AsUnsignedLongLong");
PyObject* tourloom_pypy_from_u64(unsigned long long v) __asm__("PyPyLong_FromUnsignedLongLong");
}
#endif

namespace tourloom::python {

static_assert(sizeof(unsigned long long) == sizeof(std::uint64_t));

// PyLong_AsUnsignedLongLong: the value, or 2^64 − 1 with an error set.
inline std::uint64_t long_as_u64(PyObject* o) noexcept {
#ifdef TOURLOOM_PYPY_32BIT
    return tourloom_pypy_as_u64(o);
#else
    return PyLong_AsUnsignedLongLong(o);
#endif
}

// PyLong_FromUnsignedLongLong: a new reference, or null with an error set.
inline PyObject* long_from_u64(std::uint64_t v) noexcept {
#ifdef TOURLOOM_PYPY_32BIT
    return tourloom_pypy_from_u64(v);
#else
    return PyLong_FromUnsignedLongLong(v);
#endif
}

// A new reference to an exact str with the whole text of `text` (a str or
// an instance of a subclass), or null with an error set. On PyPy the text
// makes a round trip through UTF-8 bytes (str.encode reads the text the
// object really holds; lone surrogates pass), so that the new str is sized
// by its text.
inline PyObject* exact_text(PyObject* text) noexcept {
#ifdef PYPY_VERSION
    PyObject* bytes = PyObject_CallMethod(reinterpret_cast<PyObject*>(&PyUnicode_Type), "encode", "Oss", text,
                                          "utf-8", "surrogatepass");
    if (bytes == nullptr) return nullptr;
    char* data = nullptr;
    Py_ssize_t size = 0;
    PyObject* copy =
        PyBytes_AsStringAndSize(bytes, &data, &size) == 0 ? PyUnicode_DecodeUTF8(data, size, "surrogatepass") : nullptr;
    Py_DECREF(bytes);
    return copy;
#else
    Py_INCREF(text);
    return text;
#endif
}

// A new reference to the module's `__name__`, or null with an error set.
inline PyObject* module_name(PyObject* module) noexcept { return PyObject_GetAttrString(module, "__name__"); }

}  // namespace tourloom::python
