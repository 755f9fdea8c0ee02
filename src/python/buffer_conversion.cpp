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

// How the items of a buffer are stored: its struct-module format must be
// one integer code with an optional byte-order prefix. The item size comes
// from the view itself (with a prefix the codes mean standard sizes,
// without one native sizes; the view's itemsize is right in both cases).
struct ItemLayout {
    Py_ssize_t size;
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
    return ItemLayout{view.itemsize, big_endian != (std::endian::native == std::endian::big),
                      format[0] >= 'a' && format[0] <= 'z'};
}

// Calls read(U{}) with U the unsigned type of the layout's item size, and
// returns its verdict; false for a size no integer type has.
template <class Read>
bool with_item_type(const ItemLayout& layout, Read&& read) {
    switch (layout.size) {
        case 1: return read(std::uint8_t{});
        case 2: return read(std::uint16_t{});
        case 4: return read(std::uint32_t{});
        case 8: return read(std::uint64_t{});
        default: return false;
    }
}

// `count` items, `stride` bytes apart from `first`: a 1-D array, or one row
// of a 2-D one. Items need not be aligned, so they are read with memcpy.
struct Line {
    const char* first;
    Py_ssize_t count;
    Py_ssize_t stride;

    template <class U>
    bool contiguous() const noexcept { return stride == static_cast<Py_ssize_t>(sizeof(U)); }
};

// The bitwise OR of a line's items as stored. Swapping the bytes of the OR
// gives the OR of the values, so the byte order is undone once, by the
// caller, not per item; the OR then tells both whether a signed item is
// negative (its sign bit) and the width the largest value needs.
template <class U>
U stored_bits(const Line& line) noexcept {
    U seen = 0;
    if (line.contiguous<U>()) {
        for (Py_ssize_t i = 0; i < line.count; ++i) {
            U v;
            std::memcpy(&v, line.first + i * static_cast<Py_ssize_t>(sizeof(U)), sizeof v);
            seen |= v;
        }
    } else {
        for (Py_ssize_t i = 0; i < line.count; ++i) {
            U v;
            std::memcpy(&v, line.first + i * line.stride, sizeof v);
            seen |= v;
        }
    }
    return seen;
}

// The line's values into `out`, each of which holds them all (the caller
// chose Entry from the OR of the values). Signed items are read through
// their unsigned type: with no negative item, the values are the same.
template <class U, class Entry>
void copy_line(const Line& line, bool swapped, Entry* out) noexcept {
    if (!swapped && line.contiguous<U>()) {
        for (Py_ssize_t i = 0; i < line.count; ++i) {
            U v;
            std::memcpy(&v, line.first + i * static_cast<Py_ssize_t>(sizeof(U)), sizeof v);
            out[i] = static_cast<Entry>(v);
        }
    } else {
        for (Py_ssize_t i = 0; i < line.count; ++i) {
            U v;
            std::memcpy(&v, line.first + i * line.stride, sizeof v);
            out[i] = static_cast<Entry>(swapped ? byte_swapped(v) : v);
        }
    }
}

// The lines of a view: its rows when it has two dimensions, the view itself
// as one line when it has one. Nothing is copied.
struct Lines {
    const char* first;
    Py_ssize_t count;
    Py_ssize_t stride;  // between lines
    Py_ssize_t length;  // items per line
    Py_ssize_t item_stride;

    static Lines of(const Py_buffer& view) noexcept {
        const auto* buf = static_cast<const char*>(view.buf);
        if (view.ndim == 1) return {buf, 1, 0, view.shape[0], view.strides[0]};
        return {buf, view.shape[0], view.strides[0], view.shape[1], view.strides[1]};
    }
    Line operator[](Py_ssize_t k) const noexcept { return {first + k * stride, length, item_stride}; }
};

// The OR of the values of all lines, or nothing when one of them is a
// negative signed item.
template <class U>
std::optional<std::uint64_t> value_bits(const Lines& lines, const ItemLayout& layout) noexcept {
    U seen = 0;
    for (Py_ssize_t k = 0; k < lines.count; ++k) seen |= stored_bits<U>(lines[k]);
    if (layout.swapped) seen = byte_swapped(seen);
    if (layout.is_signed && (seen >> (8 * sizeof(U) - 1)) != 0) return std::nullopt;
    return seen;
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
        return with_item_type(layout, [&](auto item) {
            using U = decltype(item);
            const Lines lines = Lines::of(view);
            if (!value_bits<U>(lines, layout)) return false;
            out.resize(static_cast<std::size_t>(lines.length));
            copy_line<U>(lines[0], layout.swapped, out.data());
            return true;
        });
    });
}

bool read_integer_matrix(PyObject* obj, RawMatrix& out) {
    return with_integer_buffer(obj, 2, [&](const Py_buffer& view, const ItemLayout& layout) {
        return with_item_type(layout, [&](auto item) {
            using U = decltype(item);
            const Lines rows = Lines::of(view);
            if (!value_bits<U>(rows, layout)) return false;
            out.assign(static_cast<std::size_t>(rows.count), RawList(static_cast<std::size_t>(rows.length)));
            for (Py_ssize_t r = 0; r < rows.count; ++r) {
                copy_line<U>(rows[r], layout.swapped, out[static_cast<std::size_t>(r)].data());
            }
            return true;
        });
    });
}

bool read_integer_table(PyObject* obj, RawTable& out) {
    return with_integer_buffer(obj, 2, [&](const Py_buffer& view, const ItemLayout& layout) {
        return with_item_type(layout, [&](auto item) {
            using U = decltype(item);
            const Lines rows = Lines::of(view);
            if (!value_bits<U>(rows, layout)) return false;
            const auto width = static_cast<std::size_t>(rows.length);
            out = RawTable::filled(static_cast<std::size_t>(rows.count), width, [&](std::uint64_t* flat) {
                for (Py_ssize_t r = 0; r < rows.count; ++r) {
                    copy_line<U>(rows[r], layout.swapped, flat + static_cast<std::size_t>(r) * width);
                }
            });
            return true;
        });
    });
}

bool read_integer_square(PyObject* obj, SquareMatrix& out) {
    return with_integer_buffer(obj, 2, [&](const Py_buffer& view, const ItemLayout& layout) {
        const Lines rows = Lines::of(view);
        if (rows.count == 0 || rows.length != rows.count) return false;
        return with_item_type(layout, [&](auto item) {
            using U = decltype(item);
            const std::optional<std::uint64_t> bits = value_bits<U>(rows, layout);
            if (!bits) return false;
            const auto n = static_cast<std::size_t>(rows.count);
            out = SquareMatrix::filled(n, *bits, [&](auto* flat) {
                for (Py_ssize_t r = 0; r < rows.count; ++r) {
                    copy_line<U>(rows[r], layout.swapped, flat + static_cast<std::size_t>(r) * n);
                }
            });
            return true;
        });
    });
}

}  // namespace tourloom::python
