// PyOutput: the read-only result of a solve. Every attribute is computed
// from the stored record when it is read; nothing is cached, so `route` and
// `schedule` hand out a new list at every read.
#include <cstdint>
#include <optional>
#include <utility>

#include "errors.hpp"
#include "py_ref.hpp"
#include "py_types.hpp"
#include "pypy_compat.hpp"
#include "type_support.hpp"
#include "value_object.hpp"

namespace tourloom::python {
namespace {

using penalties::time::time_output::TimeReport;
using Record = tourloom::PyOutput;

// Signed figures leave as unsigned 64-bit, two's complement: -1 becomes
// 2^64 - 1, the reverse of how the time inputs are read.
PyObject* from_signed(std::int64_t v) noexcept { return long_from_u64(static_cast<std::uint64_t>(v)); }

using Read = PyObject* (*)(const Record&);

// One getter per attribute; the reader gets the record once the object is
// known to be a PyOutput.
template <Read read>
PyObject* getter(PyObject* self, void*) noexcept {
    return guarded<PyObject*>(nullptr, [&]() -> PyObject* {
        const Record* record = checked<Record>(self, ClassId::Output);
        return record != nullptr ? read(*record) : nullptr;
    });
}

// A span of the time report in whole seconds (toward zero), or None.
template <Span TimeReport::*field>
PyObject* read_span(const Record& r) noexcept {
    if (!r.time_report) Py_RETURN_NONE;
    return from_signed(((*r.time_report).*field).whole_seconds());
}

// An instant of the time report in Unix seconds (rounded down), or None.
template <Instant TimeReport::*field>
PyObject* read_instant(const Record& r) noexcept {
    if (!r.time_report) Py_RETURN_NONE;
    return from_signed(((*r.time_report).*field).unix_seconds());
}

PyObject* read_distance(const Record& r) noexcept { return long_from_u64(r.distance); }
PyObject* read_iterations(const Record& r) noexcept { return long_from_u64(r.iterations); }

PyObject* read_route(const Record& r) noexcept {
    PyRef list = PyRef::steal(PyList_New(static_cast<Py_ssize_t>(r.route.size())));
    if (!list) return nullptr;
    for (std::size_t i = 0; i < r.route.size(); ++i) {
        PyObject* item = long_from_u64(r.route[i]);
        if (item == nullptr) return nullptr;
        PyList_SET_ITEM(list.get(), static_cast<Py_ssize_t>(i), item);
    }
    return list.release();
}

PyObject* read_time_taken(const Record& r) {
    const std::optional<std::int64_t> micros = r.time_taken.whole_microseconds();
    if (!micros) panic(unwrap_none_message);
    return from_signed(*micros);
}

PyObject* read_schedule(const Record& r) {
    if (!r.time_report) Py_RETURN_NONE;
    const auto& events = r.time_report->events;
    PyRef list = PyRef::steal(PyList_New(static_cast<Py_ssize_t>(events.size())));
    if (!list) return nullptr;
    for (std::size_t i = 0; i < events.size(); ++i) {
        PyObject* item = new_event(event_value(events[i]));
        if (item == nullptr) return nullptr;
        PyList_SET_ITEM(list.get(), static_cast<Py_ssize_t>(i), item);
    }
    return list.release();
}

}  // namespace

ClassBody output_body() {
    static PyGetSetDef getset[] = {
        {"distance", getter<read_distance>, nullptr, nullptr, nullptr},
        {"route", getter<read_route>, nullptr, nullptr, nullptr},
        {"lateness", getter<read_span<&TimeReport::lateness>>, nullptr, nullptr, nullptr},
        {"duration", getter<read_span<&TimeReport::duration>>, nullptr, nullptr, nullptr},
        {"working_time", getter<read_span<&TimeReport::working_time>>, nullptr, nullptr, nullptr},
        {"waiting_time", getter<read_span<&TimeReport::waiting_time>>, nullptr, nullptr, nullptr},
        {"traveling_time", getter<read_span<&TimeReport::traveling_time>>, nullptr, nullptr, nullptr},
        {"start_time", getter<read_instant<&TimeReport::start_time>>, nullptr, nullptr, nullptr},
        {"end_time", getter<read_instant<&TimeReport::end_time>>, nullptr, nullptr, nullptr},
        {"iterations", getter<read_iterations>, nullptr, nullptr, nullptr},
        {"time_taken_microseconds", getter<read_time_taken>, nullptr, nullptr, nullptr},
        {"schedule", getter<read_schedule>, nullptr, nullptr, nullptr},
        {nullptr, nullptr, nullptr, nullptr, nullptr},
    };
    static PyType_Slot slots[] = {
        {Py_tp_new, reinterpret_cast<void*>(no_constructor)},
        {Py_tp_dealloc, reinterpret_cast<void*>(dealloc<Record>)},
        {Py_tp_getset, getset},
        {0, nullptr},
    };
    return {value_object_size<Record>, slots, nullptr};
}

PyObject* new_output(Record&& record) { return new_object(ClassId::Output, std::move(record)); }

}  // namespace tourloom::python
