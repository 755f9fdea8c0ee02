#pragma once
// The Python classes of the module. types.cpp lists them all in one table
// (name, finality, base, and the body that the class's own file gives it)
// and builds each one the first time it is asked for; it is then kept for
// the life of the process.
#include <Python.h>

#include <cstddef>

namespace tourloom::python {

enum class ClassId : unsigned char {
    Output,  // PyOutput (py_output.cpp)
    Event,   // PyEvent, the open base of the three variants (py_event.cpp)
    // The variants and the payloads, each in the order of EventTag.
    EventWork,
    EventWait,
    EventTravel,
    Work,  // PyWork (py_payload.cpp)
    Wait,
    Travel,
};
inline constexpr std::size_t class_count = static_cast<std::size_t>(ClassId::Travel) + 1;

constexpr std::size_t index_of(ClassId id) noexcept { return static_cast<std::size_t>(id); }

// What a class's own file contributes; the table adds the name, the base
// and the flags, and for a final class what PyPy needs to refuse
// subclasses, new attributes and `__dict__`.
struct ClassBody {
    int basic_size;      // 0: the size of the base's instances
    PyType_Slot* slots;  // ends with {0, nullptr}; kept for the life of the process
    // Run once the class exists: false with an error set. May be null.
    bool (*finish)(PyTypeObject* type);
};

// The class, created on first use. When the interpreter cannot create it
// (memory exhausted), its error is printed and a panic "failed to create
// type object for NAME" is thrown.
PyTypeObject* class_type(ClassId id);

// NAME: the class's `__name__` and `__qualname__` (its `__module__` is
// "tourloom").
const char* class_name(ClassId id) noexcept;

}  // namespace tourloom::python
