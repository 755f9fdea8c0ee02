// The table of the module's classes and the one builder that creates them.
//
// Final classes are not subclassable and have no instance dictionary.
// CPython enforces both by itself (no Py_TPFLAGS_BASETYPE, no dict offset).
// PyPy does neither in CPython's words, so there the builder gives a final class an
// `__init_subclass__` that refuses subclasses, a tp_setattro that refuses
// new attributes and a `__dict__` that cannot be read (so that vars() and
// writes through the dictionary fail as well), each with CPython's wording.
// Only object.__setattr__ called by hand still reaches PyPy's hidden
// dictionary.
#include "types.hpp"

#include <cstddef>
#include <cstring>
#include <iterator>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "panic.hpp"
#include "py_ref.hpp"
#include "py_types.hpp"
#include "pypy_compat.hpp"

namespace tourloom::python {
namespace {

enum class Finality : bool { Open, Final };

struct ClassEntry {
    ClassId id;
    // "tourloom.NAME": the class's `__name__` and `__qualname__` are NAME,
    // its `__module__` is "tourloom" (a name without a dot would leave
    // `__module__` unset, which CPython 3.11 warns about).
    const char* spec_name;
    Finality finality;
    std::optional<ClassId> base;  // none: object
    ClassBody (*body)();
};

constexpr ClassEntry classes[] = {
    {ClassId::Output, "tourloom.PyOutput", Finality::Final, std::nullopt, output_body},
    {ClassId::Event, "tourloom.PyEvent", Finality::Open, std::nullopt, event_body},
    {ClassId::EventWork, "tourloom.PyEvent_Work", Finality::Final, ClassId::Event, variant_body<EventTag::Work>},
    {ClassId::EventWait, "tourloom.PyEvent_Wait", Finality::Final, ClassId::Event, variant_body<EventTag::Wait>},
    {ClassId::EventTravel, "tourloom.PyEvent_Travel", Finality::Final, ClassId::Event, variant_body<EventTag::Travel>},
    {ClassId::Work, "tourloom.PyWork", Finality::Final, std::nullopt, payload_body<EventTag::Work>},
    {ClassId::Wait, "tourloom.PyWait", Finality::Final, std::nullopt, payload_body<EventTag::Wait>},
    {ClassId::Travel, "tourloom.PyTravel", Finality::Final, std::nullopt, payload_body<EventTag::Travel>},
};

constexpr std::string_view module_prefix = "tourloom.";

// One entry per class, at the index of its id, every name in the module.
constexpr bool table_is_complete() {
    if (std::size(classes) != class_count) return false;
    for (std::size_t i = 0; i < class_count; ++i) {
        if (index_of(classes[i].id) != i || !std::string_view(classes[i].spec_name).starts_with(module_prefix)) {
            return false;
        }
    }
    return true;
}
static_assert(table_is_complete());

PyTypeObject* g_types[class_count] = {};
PyType_Spec g_specs[class_count] = {};

const ClassEntry& entry_of(ClassId id) noexcept { return classes[index_of(id)]; }

#ifdef PYPY_VERSION
// The final class `type` is, or null.
const ClassEntry* final_entry(PyTypeObject* type) noexcept {
    for (const ClassEntry& entry : classes) {
        if (entry.finality == Finality::Final && g_types[index_of(entry.id)] == type) return &entry;
    }
    return nullptr;
}

const char* final_name(PyTypeObject* type) noexcept {
    const ClassEntry* entry = final_entry(type);
    return entry != nullptr ? entry->spec_name : type->tp_name;
}

// On PyPy `cls` is the new subclass: the refusing class is the first final
// class in its method resolution order.
PyObject* refuse_subclass(PyObject* cls, PyObject*, PyObject*) noexcept {
    PyRef mro = PyRef::steal(PyObject_GetAttrString(cls, "__mro__"));
    if (!mro) return nullptr;
    const Py_ssize_t n = PyTuple_Check(mro.get()) ? PyTuple_Size(mro.get()) : 0;
    for (Py_ssize_t i = 0; i < n; ++i) {
        PyObject* base = PyTuple_GetItem(mro.get(), i);
        if (const ClassEntry* entry = final_entry(reinterpret_cast<PyTypeObject*>(base))) {
            PyErr_Format(PyExc_TypeError, "type '%s' is not an acceptable base type", entry->spec_name);
            return nullptr;
        }
    }
    Py_RETURN_NONE;
}

// 1 when a class in the MRO of `type` defines `name`, 0 when none does, -1
// with an error set. Only membership is asked: fetching a getset descriptor
// into C crashes the 32-bit PyPy.
int class_defines(PyTypeObject* type, PyObject* name) noexcept {
    PyRef mro = PyRef::steal(PyObject_GetAttrString(reinterpret_cast<PyObject*>(type), "__mro__"));
    if (!mro) return -1;
    const Py_ssize_t n = PyTuple_Check(mro.get()) ? PyTuple_Size(mro.get()) : 0;
    for (Py_ssize_t i = 0; i < n; ++i) {
        PyRef dict = PyRef::steal(PyObject_GetAttrString(PyTuple_GetItem(mro.get(), i), "__dict__"));
        if (!dict) return -1;
        const int found = PySequence_Contains(dict.get(), name);
        if (found != 0) return found;
    }
    return 0;
}

// A name the class defines (the read-only getters, `__class__`, ...) is
// assigned the usual way, through object.__setattr__ / __delattr__, and
// the descriptor refuses it; every other name is refused here.
int refuse_new_attribute(PyObject* self, PyObject* name, PyObject* value) noexcept {
    const int defined = class_defines(Py_TYPE(self), name);
    if (defined < 0) return -1;
    if (defined == 0) {
        PyRef text = PyRef::steal(exact_text(name));
        if (text) {
            PyErr_Format(PyExc_AttributeError, "'%s' object has no attribute '%U'", final_name(Py_TYPE(self)), text.get());
        }
        return -1;
    }
    PyRef method = PyRef::steal(PyObject_GetAttrString(reinterpret_cast<PyObject*>(&PyBaseObject_Type),
                                                       value != nullptr ? "__setattr__" : "__delattr__"));
    if (!method) return -1;
    PyRef done = PyRef::steal(PyObject_CallFunctionObjArgs(method.get(), self, name, value, nullptr));
    return done ? 0 : -1;
}

PyObject* refuse_dict(PyObject* self, void*) noexcept {
    PyErr_Format(PyExc_AttributeError, "'%s' object has no attribute '__dict__'", final_name(Py_TYPE(self)));
    return nullptr;
}

// A final class's tables with the refusals added. The interpreter reads them
// for as long as the class lives, which is the rest of the process: they
// are made once per class and never freed.
struct FinalTables {
    std::vector<PyType_Slot> slots;
    std::vector<PyGetSetDef> getset;
    std::vector<PyMethodDef> methods;
};

PyType_Slot* with_refusals(const PyType_Slot* slots) {
    auto* tables = new FinalTables;
    const PyGetSetDef* getset = nullptr;
    const PyMethodDef* methods = nullptr;
    for (const PyType_Slot* s = slots; s->slot != 0; ++s) {
        if (s->slot == Py_tp_getset) {
            getset = static_cast<const PyGetSetDef*>(s->pfunc);
        } else if (s->slot == Py_tp_methods) {
            methods = static_cast<const PyMethodDef*>(s->pfunc);
        } else {
            tables->slots.push_back(*s);
        }
    }
    for (; getset != nullptr && getset->name != nullptr; ++getset) tables->getset.push_back(*getset);
    tables->getset.push_back({"__dict__", refuse_dict, nullptr, nullptr, nullptr});
    tables->getset.push_back({nullptr, nullptr, nullptr, nullptr, nullptr});
    for (; methods != nullptr && methods->ml_name != nullptr; ++methods) tables->methods.push_back(*methods);
    tables->methods.push_back({"__init_subclass__",
                               reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(refuse_subclass)),
                               METH_VARARGS | METH_KEYWORDS | METH_CLASS, nullptr});
    tables->methods.push_back({nullptr, nullptr, 0, nullptr});
    tables->slots.push_back({Py_tp_getset, tables->getset.data()});
    tables->slots.push_back({Py_tp_methods, tables->methods.data()});
    tables->slots.push_back({Py_tp_setattro, reinterpret_cast<void*>(refuse_new_attribute)});
    tables->slots.push_back({0, nullptr});
    return tables->slots.data();
}
#endif

// The printed error and the panic of a class that could not be created.
[[noreturn]] void creation_failed(ClassId id) {
    PyErr_Print();
    panic(std::string("failed to create type object for ") + class_name(id));
}

#if !defined(PYPY_VERSION) && PY_VERSION_HEX < 0x030A0000
// CPython 3.9 drops the signature line when it copies a heap type's doc;
// put the full text back so that `__text_signature__` is the signature.
void restore_signature(PyTypeObject* type, const PyType_Slot* slots) noexcept {
    for (const PyType_Slot* s = slots; s->slot != 0; ++s) {
        if (s->slot != Py_tp_doc) continue;
        const char* text = static_cast<const char*>(s->pfunc);
        const std::size_t size = std::strlen(text) + 1;
        if (void* doc = PyObject_Malloc(size)) {
            std::memcpy(doc, text, size);
            PyObject_Free(const_cast<char*>(type->tp_doc));
            type->tp_doc = static_cast<const char*>(doc);
        }
    }
}
#endif

PyTypeObject* create(const ClassEntry& entry, const ClassBody& body, PyObject* bases) {
    PyType_Slot* slots = body.slots;
    unsigned int flags = Py_TPFLAGS_DEFAULT;
    if (entry.finality == Finality::Open) flags |= Py_TPFLAGS_BASETYPE;
#ifdef PYPY_VERSION
    // PyPy 3.11 refuses a subclass of a class without the flag by itself,
    // naming it without its module; the flag hands the refusal to the class's
    // own `__init_subclass__`, which words it as CPython does on every PyPy.
    if (entry.finality == Finality::Final) {
        slots = with_refusals(slots);
        flags |= Py_TPFLAGS_BASETYPE;
    }
#endif
    PyType_Spec& spec = g_specs[index_of(entry.id)];
    spec = {entry.spec_name, body.basic_size, 0, flags, slots};
    PyObject* type = PyType_FromSpecWithBases(&spec, bases);
    if (type == nullptr) creation_failed(entry.id);
#if !defined(PYPY_VERSION) && PY_VERSION_HEX < 0x030A0000
    restore_signature(reinterpret_cast<PyTypeObject*>(type), slots);
#endif
    return reinterpret_cast<PyTypeObject*>(type);
}

}  // namespace

const char* class_name(ClassId id) noexcept { return entry_of(id).spec_name + module_prefix.size(); }

PyTypeObject* class_type(ClassId id) {
    PyTypeObject*& type = g_types[index_of(id)];
    if (type != nullptr) return type;
    const ClassEntry& entry = entry_of(id);
    PyRef bases;
    if (entry.base) {
        bases = PyRef::steal(PyTuple_Pack(1, reinterpret_cast<PyObject*>(class_type(*entry.base))));
        if (!bases) creation_failed(id);
        // Creating the base may have created this class: PyEvent makes its
        // variants as it is finished.
        if (type != nullptr) return type;
    }
    const ClassBody body = entry.body();
    type = create(entry, body, bases.get());
    // Kept before it is finished, so that the classes its finishing step
    // makes can take it as their base.
    if (body.finish != nullptr && !body.finish(type)) creation_failed(id);
    return type;
}

}  // namespace tourloom::python
