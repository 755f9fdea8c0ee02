#include "buffer_conversion.hpp"

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <optional>

namespace tourloom::python {
namespace {

// numpy's array type is a static type named with its module; a class
// statement always makes a heap type, so neither a Python subclass of
// ndarray nor a Python class that merely calls itself ndarray passes.
bool is_exact_ndarray(PyObject* obj) noexcept {
    PyTypeObject* type = Py_TYPE(obj);
    return (PyType_GetFlags(type) & Py_TPFLAGS_HEAPTYPE) == 0 && type->tp_name != nullptr &&
           std::strcmp(type->tp_name, "numpy.ndarray") == 0;
}

// The strided view of an object's buffer, released with the view. An object
// that cannot give one leaves no error behind: the item path will read it.
class StridedBuffer {
public:
    explicit StridedBuffer(PyObject* obj) noexcept {
        held_ = PyObject_GetBuffer(obj, &view_, PyBUF_STRIDES | PyBUF_FORMAT) == 0;
        if (!held_) PyErr_Clear();
    }
    ~StridedBuffer() {
        if (held_) PyBuffer_Release(&view_);
    }
    StridedBuffer(const StridedBuffer&) = delete;
    StridedBuffer& operator=(const StridedBuffer&) = delete;

    // The view when it has `ndim` dimensions laid out by strides alone.
    const Py_buffer* with_dimensions(int ndim) const noexcept {
        if (!held_ || view_.ndim != ndim || view_.shape == nullptr || view_.strides == nullptr ||
            view_.suboffsets != nullptr) {
            return nullptr;
        }
        return &view_;
    }

private:
    Py_buffer view_{};
    bool held_ = false;
};

template <class U>
U byte_swapped(U v) noexcept {
    if constexpr (sizeof(U) == 1) {
        return v;
    } else if constexpr (sizeof(U) == 2) {
        return __builtin_bswap16(v);
    } else if constexpr (sizeof(U) == 4) {
        return __builtin_bswap32(v);
    } else {
        return __builtin_bswap64(v);
    }
}

// Reads `count` items of type U, `stride` bytes apart from `first`, into
// `out`. Signed items are read through their unsigned type: a non-negative
// one has the same value either way, and a negative one declines the whole
// array, so only the sign bits are gathered. False when an item is negative.
template <class U>
bool read_items(const char* first, Py_ssize_t count, Py_ssize_t stride, bool swapped, bool is_signed,
                std::uint64_t* out) noexcept {
    U seen = 0;
    if (!swapped && stride == static_cast<Py_ssize_t>(sizeof(U))) {
        for (Py_ssize_t i = 0; i < count; ++i) {
            U v;
            std::memcpy(&v, first + i * static_cast<Py_ssize_t>(sizeof(U)), sizeof v);
            seen |= v;
            out[i] = v;
        }
    } else {
        for (Py_ssize_t i = 0; i < count; ++i) {
            U v;
            std::memcpy(&v, first + i * stride, sizeof v);  // items need not be aligned
            if (swapped) v = byte_swapped(v);
            seen |= v;
            out[i] = v;
        }
    }
    return !is_signed || (seen >> (8 * sizeof(U) - 1)) == 0;
}

using ItemReader = bool (*)(const char*, Py_ssize_t, Py_ssize_t, bool, bool, std::uint64_t*) noexcept;

// How the items of a buffer are read: its struct-module format must be one
// integer code with an optional byte-order prefix. The item size comes from
// the view itself (with a prefix the codes mean standard sizes, without one
// native sizes; the view's itemsize is right in both cases).
struct ItemLayout {
    ItemReader read;
    bool swapped;
    bool is_signed;
};

std::optional<ItemLayout> integer_layout(const Py_buffer& view) noexcept {
    const char* format = view.format != nullptr ? view.format : "B";
    bool big_endian = std::endian::native == std::endian::big;
    switch (*format) {
        case '@': case '=': ++format; break;
        case '<': big_endian = false; ++format; break;
        case '>': case '!': big_endian = true; ++format; break;
        default: break;
    }
    if (format[0] == '\0' || format[1] != '\0' || std::strchr("bBhHiIlLqQ", format[0]) == nullptr) return std::nullopt;
    const bool is_signed = format[0] >= 'a' && format[0] <= 'z';
    const bool swapped = big_endian != (std::endian::native == std::endian::big);
    switch (view.itemsize) {
        case 1: return ItemLayout{read_items<std::uint8_t>, swapped, is_signed};
        case 2: return ItemLayout{read_items<std::uint16_t>, swapped, is_signed};
        case 4: return ItemLayout{read_items<std::uint32_t>, swapped, is_signed};
        case 8: return ItemLayout{read_items<std::uint64_t>, swapped, is_signed};
        default: return std::nullopt;
    }
}

// Calls read(view, layout) when `obj` is an exact numpy array of integers
// with `ndim` dimensions; false, with no error set, for anything else.
template <class Read>
bool with_integer_buffer(PyObject* obj, int ndim, Read&& read) {
    if (!is_exact_ndarray(obj)) return false;
    StridedBuffer buffer(obj);
    const Py_buffer* view = buffer.with_dimensions(ndim);
    if (view == nullptr) return false;
    const std::optional<ItemLayout> layout = integer_layout(*view);
    return layout && read(*view, *layout);
}

}  // namespace

bool read_integer_array(PyObject* obj, RawList& out) {
    return with_integer_buffer(obj, 1, [&](const Py_buffer& view, const ItemLayout& layout) {
        out.assign(static_cast<std::size_t>(view.shape[0]), 0);
        return layout.read(static_cast<const char*>(view.buf), view.shape[0], view.strides[0], layout.swapped,
                           layout.is_signed, out.data());
    });
}

bool read_integer_matrix(PyObject* obj, RawMatrix& out) {
    return with_integer_buffer(obj, 2, [&](const Py_buffer& view, const ItemLayout& layout) {
        const Py_ssize_t rows = view.shape[0], columns = view.shape[1];
        const char* first = static_cast<const char*>(view.buf);
        out.clear();
        out.resize(static_cast<std::size_t>(rows));
        for (Py_ssize_t r = 0; r < rows; ++r) {
            std::vector<std::uint64_t>& row = out[static_cast<std::size_t>(r)];
            row.resize(static_cast<std::size_t>(columns));
            if (!layout.read(first + r * view.strides[0], columns, view.strides[1], layout.swapped, layout.is_signed,
                             row.data())) {
                return false;
            }
        }
        return true;
    });
}

}  // namespace tourloom::python
