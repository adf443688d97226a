// deducer._core: the public API (deducer/Engine.h) for Python. The package
// deducer (deducer/__init__.py) re-exports it, with its value types from
// deducer/_values.py.
//
// Values convert both ways: None and void, bool and the symbols TRUE and
// FALSE, int (64 bits), float, Symbol (a str subclass) and symbols, str and
// strings, FactAddress (an int subclass; a Fact is taken too) and fact
// addresses, list (or tuple) and multifields. Text is UTF-8; bytes that
// are not decode as surrogates (surrogateescape) and go back unchanged.
//
// Threads and the GIL: every engine call releases the GIL and holds the
// engine's own (recursive) lock while it works, so other Python threads run
// meanwhile, halt() may stop a run from any thread, and calls from several
// threads into one engine take turns. Python functions called by rules and
// the output callback take the GIL back while they run, and may call the
// engine again (the lock is the same thread's).
//
// Lifetime: the engine object holds its Python functions and output
// callback (visible to the garbage collector, so cycles through them are
// collected); the engine's functions borrow them. Facts and values given to
// Python are copies.
#include <deducer/Engine.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>
#include <pybind11/stl/filesystem.h>

#include <cstdint>
#include <exception>
#include <filesystem>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <vector>

namespace py = pybind11;
using namespace py::literals;

namespace {

using deducer::Fact;
using deducer::Value;

// The classes of deducer._values. Held for the life of the process: they
// must outlive every value converted, up to the interpreter's last moments.
struct TValueTypes {
  PyObject* Symbol = nullptr;
  PyObject* FactAddress = nullptr;
  PyObject* EngineObject = nullptr;
  PyObject* Error = nullptr;
};
TValueTypes Types;

bool IsInstance(py::handle Object, PyObject* Class) {
  const int r = PyObject_IsInstance(Object.ptr(), Class);
  if (r < 0) throw py::error_already_set();
  return r == 1;
}

// Engine text as a Python str, and back.
py::str Text(std::string_view Bytes) {
  PyObject* r =
      PyUnicode_DecodeUTF8(Bytes.data(), static_cast<Py_ssize_t>(Bytes.size()), "surrogateescape");
  if (!r) throw py::error_already_set();
  return py::reinterpret_steal<py::str>(r);
}

std::string Bytes(py::handle Str) {
  PyObject* encoded = PyUnicode_AsEncodedString(Str.ptr(), "utf-8", "surrogateescape");
  if (!encoded) throw py::error_already_set();
  const py::bytes owned = py::reinterpret_steal<py::bytes>(encoded);
  return std::string(PyBytes_AS_STRING(encoded), static_cast<size_t>(PyBytes_GET_SIZE(encoded)));
}

[[noreturn]] void RaiseTypeError(const std::string& Message) {
  PyErr_SetString(PyExc_TypeError, Message.c_str());
  throw py::error_already_set();
}

py::object ToPython(const Value& V) {
  switch (V.GetType()) {
    case Value::Type::Void: return py::none();
    case Value::Type::Integer: return py::int_(V.AsInteger());
    case Value::Type::Float: return py::float_(V.AsFloat());
    case Value::Type::Symbol: {
      const std::string& text = V.AsText();
      if (text == "TRUE") return py::bool_(true);
      if (text == "FALSE") return py::bool_(false);
      return py::handle(Types.Symbol)(Text(text));
    }
    case Value::Type::String: return Text(V.AsText());
    case Value::Type::Fact: return py::handle(Types.FactAddress)(V.AsFactId());
    case Value::Type::Multifield: {
      const std::vector<Value>& items = V.AsMultifield();
      py::list r(items.size());
      for (size_t i = 0; i < items.size(); ++i) r[i] = ToPython(items[i]);
      return r;
    }
    case Value::Type::Other: return py::handle(Types.EngineObject)(Text(V.AsText()));
  }
  return py::none();
}

Value FromPython(py::handle O) {
  if (O.is_none()) return Value();
  if (PyBool_Check(O.ptr())) return Value(O.ptr() == Py_True);
  if (IsInstance(O, Types.FactAddress)) return Value::FactAddress(O.cast<int64_t>());
  if (py::isinstance<Fact>(O)) return Value::FactAddress(O.cast<const Fact&>().Id());
  if (PyFloat_Check(O.ptr())) return Value(PyFloat_AS_DOUBLE(O.ptr()));
  if (PyLong_Check(O.ptr()) || (!PyUnicode_Check(O.ptr()) && PyIndex_Check(O.ptr()))) {
    const py::object index = py::reinterpret_steal<py::object>(PyNumber_Index(O.ptr()));
    if (!index) throw py::error_already_set();
    int overflow = 0;
    const long long v = PyLong_AsLongLongAndOverflow(index.ptr(), &overflow);
    if (overflow != 0) {
      PyErr_SetString(PyExc_OverflowError, "an integer of the engine has 64 bits");
      throw py::error_already_set();
    }
    if (v == -1 && PyErr_Occurred()) throw py::error_already_set();
    return Value(static_cast<int64_t>(v));
  }
  if (PyUnicode_Check(O.ptr())) {
    if (IsInstance(O, Types.Symbol)) return Value(deducer::Symbol(Bytes(O)));
    if (IsInstance(O, Types.EngineObject))
      RaiseTypeError("an engine object (" + Bytes(O) + ") cannot be passed back to an engine");
    return Value(Bytes(O));
  }
  if (PyList_Check(O.ptr()) || PyTuple_Check(O.ptr())) {
    std::vector<Value> items;
    const py::sequence seq = py::reinterpret_borrow<py::sequence>(O);
    items.reserve(seq.size());
    for (py::handle item : seq) items.push_back(FromPython(item));
    return Value(std::move(items));
  }
  RaiseTypeError("a value of type " + std::string(Py_TYPE(O.ptr())->tp_name) +
                 " has no form in the engine (None, bool, int, float, str, Symbol, "
                 "FactAddress, Fact, list or tuple)");
}

deducer::SlotValues SlotsFromPython(const py::object& Slots, const py::kwargs& More) {
  deducer::SlotValues r;
  auto add = [&r](py::handle Mapping) {
    for (auto [name, value] : py::reinterpret_borrow<py::dict>(Mapping)) {
      if (!PyUnicode_Check(name.ptr())) RaiseTypeError("a slot name is a str");
      r.insert_or_assign(Bytes(name), FromPython(value));
    }
  };
  if (!Slots.is_none()) {
    if (!PyDict_Check(Slots.ptr()))
      add(py::dict(Slots));
    else
      add(Slots);
  }
  add(More);
  return r;
}

// The Python error for a deducer::Error.
py::object ErrorObject(const deducer::Error& E) {
  return py::handle(Types.Error)(Text(E.what()), E.Line());
}

[[noreturn]] void Raise(const py::object& Exception) {
  PyErr_SetObject(reinterpret_cast<PyObject*>(Py_TYPE(Exception.ptr())), Exception.ptr());
  throw py::error_already_set();
}

// The text a Python exception becomes in the engine: its message, after
// its type's name unless it is the engine's own error.
std::string ExceptionText(const py::object& Exception) {
  if (IsInstance(Exception, Types.Error)) return Bytes(py::str(Exception));
  std::string r = py::handle(reinterpret_cast<PyObject*>(Py_TYPE(Exception.ptr())))
                      .attr("__name__")
                      .cast<std::string>();
  const std::string message = Bytes(py::str(Exception));
  if (!message.empty()) r += ": " + message;
  return r;
}

int64_t FactId(py::handle FactOrId) {
  if (py::isinstance<Fact>(FactOrId)) return FactOrId.cast<const Fact&>().Id();
  if (PyLong_Check(FactOrId.ptr()) && !PyBool_Check(FactOrId.ptr()))
    return FactOrId.cast<int64_t>();
  RaiseTypeError("a fact is a Fact, a FactAddress or an int identifier");
}

// ---------------------------------------------------------------- engine

struct TPyEngine;

// A Python function registered with an engine, as the engine calls it.
struct TPyFunction {
  TPyEngine* Owner;
  PyObject* Function;  // held by Owner->Functions
  Value operator()(const std::vector<Value>& Args) const;
};

// Where an engine's output goes: the Python callback, or sys.stdout.
struct TPyOutput {
  TPyEngine* Owner;
  void operator()(std::string_view Channel, std::string_view Text) const;
};

struct TPyEngine {
  deducer::Engine Engine;
  // Held by whichever thread is in a call of this engine.
  std::recursive_mutex Lock;
  int Depth = 0;  // calls in progress, nested through Python functions
  std::map<std::string, py::object> Functions;
  py::object Output;  // None: sys.stdout
  // What a Python function raised, kept as the cause of the engine's
  // error; what the output callback raised, raised when the call ends.
  py::object FunctionError;
  py::object OutputError;

  TPyEngine() : Output(py::none()) { Engine.SetOutput(TPyOutput{this}); }

  // Runs Body (engine work, which touches no Python object) without the
  // GIL, under the engine's lock; then, back with the GIL, raises what
  // went wrong: the engine's error (caused by the Python function that
  // failed, when one did), or else what the output callback raised.
  template <class F>
  auto Call(F&& Body) -> decltype(Body()) {
    using R = decltype(Body());
    std::conditional_t<std::is_void_v<R>, bool, std::optional<R>> result{};
    std::optional<deducer::Error> error;
    py::object functionError, outputError;
    {
      py::gil_scoped_release release;
      std::lock_guard<std::recursive_mutex> guard(Lock);
      ++Depth;
      try {
        if constexpr (std::is_void_v<R>)
          Body();
        else
          result.emplace(Body());
      } catch (const deducer::Error& e) {
        error.emplace(e);
      } catch (...) {
        --Depth;
        throw;
      }
      // The outermost call takes what the callbacks left (moving a
      // py::object needs no GIL).
      if (--Depth == 0) {
        functionError = std::move(FunctionError);
        outputError = std::move(OutputError);
      }
    }
    if (error) {
      py::object exception = ErrorObject(*error);
      if (functionError &&
          std::string(error->what()).find(ExceptionText(functionError)) != std::string::npos)
        PyException_SetCause(exception.ptr(), functionError.release().ptr());
      else if (outputError)
        PyException_SetContext(exception.ptr(), outputError.release().ptr());
      Raise(exception);
    }
    if (outputError) Raise(outputError);
    if constexpr (!std::is_void_v<R>) return std::move(*result);
  }
};

Value TPyFunction::operator()(const std::vector<Value>& Args) const {
  std::string message;
  {
    py::gil_scoped_acquire gil;
    try {
      // Held for the call: the function may replace itself.
      const py::object function = py::reinterpret_borrow<py::object>(Function);
      py::tuple args(Args.size());
      for (size_t i = 0; i < Args.size(); ++i) args[i] = ToPython(Args[i]);
      return FromPython(function(*args));
    } catch (py::error_already_set& e) {
      Owner->FunctionError = e.value();
      message = ExceptionText(Owner->FunctionError);
    }
  }
  // Fails the call with the exception's text (the language's "try"
  // catches it); thrown without the GIL, as the engine runs.
  throw std::runtime_error(message);
}

void TPyOutput::operator()(std::string_view Channel, std::string_view Text) const {
  py::gil_scoped_acquire gil;
  try {
    if (!Owner->Output.is_none()) {
      Owner->Output(::Text(Channel), ::Text(Text));
      return;
    }
    const py::object out = py::module_::import("sys").attr("stdout");
    if (!out.is_none()) out.attr("write")(::Text(Text));
  } catch (py::error_already_set& e) {
    // The engine goes on; the call raises it when it ends.
    if (!Owner->OutputError) Owner->OutputError = e.value();
  }
}

// The engine's Python references, for the garbage collector.
int TraverseEngine(PyObject* Self, visitproc visit, void* arg) {
#if PY_VERSION_HEX >= 0x03090000
  Py_VISIT(Py_TYPE(Self));
#endif
  auto* instance = reinterpret_cast<py::detail::instance*>(Self);
  if (!instance->get_value_and_holder().holder_constructed()) return 0;
  const TPyEngine& engine = py::handle(Self).cast<const TPyEngine&>();
  for (const auto& [name, function] : engine.Functions) Py_VISIT(function.ptr());
  Py_VISIT(engine.Output.ptr());
  return 0;
}

int ClearEngine(PyObject* Self) {
  auto* instance = reinterpret_cast<py::detail::instance*>(Self);
  if (!instance->get_value_and_holder().holder_constructed()) return 0;
  // Unreachable: nothing calls it again, and its functions borrow what
  // goes here (they are freed with it).
  TPyEngine& engine = py::handle(Self).cast<TPyEngine&>();
  engine.Functions.clear();
  engine.Output = py::none();
  return 0;
}

// ------------------------------------------------------------------ facts

py::dict SlotsOf(const Fact& F) {
  py::dict r;
  for (const auto& [name, value] : F.Slots()) r[Text(name)] = ToPython(value);
  return r;
}

py::list FieldsOf(const Fact& F) {
  py::list r;
  for (const Value& v : F.Fields()) r.append(ToPython(v));
  return r;
}

const Value* FindSlot(const Fact& F, const std::string& Name) {
  for (const auto& [name, value] : F.Slots())
    if (name == Name) return &value;
  return nullptr;
}

py::object FactItem(const Fact& F, py::handle Key) {
  if (PyUnicode_Check(Key.ptr())) {
    if (const Value* v = FindSlot(F, Bytes(Key))) return ToPython(*v);
    throw py::key_error(Bytes(Key));
  }
  if (PyLong_Check(Key.ptr())) {
    const auto count = static_cast<int64_t>(F.Fields().size());
    int64_t i = Key.cast<int64_t>();
    if (i < 0) i += count;
    if (i < 0 || i >= count) throw py::index_error("field index out of range");
    return ToPython(F.Fields()[static_cast<size_t>(i)]);
  }
  RaiseTypeError("a fact is indexed by slot name (str) or, ordered, by field index (int)");
}

py::list FactList(const std::vector<Fact>& Facts) {
  py::list r;
  for (const Fact& f : Facts) r.append(py::cast(f));
  return r;
}

}  // namespace

PYBIND11_MODULE(_core, m) {
  m.doc() = "The Deducer rule engine: the extension the package deducer re-exports.";
  const py::module_ values = py::module_::import("deducer._values");
  auto keep = [&values](const char* Name) { return py::object(values.attr(Name)).release().ptr(); };
  Types.Symbol = keep("Symbol");
  Types.FactAddress = keep("FactAddress");
  Types.EngineObject = keep("EngineObject");
  Types.Error = keep("Error");
  m.attr("__version__") = deducer::LibraryVersion();

  py::register_exception_translator([](std::exception_ptr P) {
    try {
      if (P) std::rethrow_exception(P);
    } catch (const deducer::Error& e) {
      const py::object exception = ErrorObject(e);
      PyErr_SetObject(Types.Error, exception.ptr());
    }
  });

  py::class_<Fact>(m, "Fact", R"(A snapshot of a fact: a copy of what it held when it was read.

Template facts read as a mapping of slot names to values (fact["item"],
fact.get("item"), dict(fact)); ordered facts by position (fact[0]).)")
      .def_property_readonly("id", &Fact::Id)
      .def_property_readonly("template", [](const Fact& F) { return Text(F.Template()); })
      .def_property_readonly("ordered", &Fact::IsOrdered)
      .def_property_readonly("slots", &SlotsOf,
                             "The slots by name, in the template's order (a dict; copies).")
      .def_property_readonly("fields", &FieldsOf, "An ordered fact's values (a list).")
      .def_property_readonly("address",
                             [](const Fact& F) { return py::handle(Types.FactAddress)(F.Id()); })
      .def("__getitem__", &FactItem)
      .def(
          "get",
          [](const Fact& F, const std::string& Name, py::object Default) {
            const Value* v = FindSlot(F, Name);
            return v ? ToPython(*v) : Default;
          },
          "slot"_a, "default"_a = py::none())
      .def("keys",
           [](const Fact& F) {
             py::list r;
             for (const auto& slot : F.Slots()) r.append(Text(slot.first));
             return r;
           })
      .def("__iter__",
           [](const Fact& F) {
             py::list r;
             for (const auto& slot : F.Slots()) r.append(Text(slot.first));
             return py::iter(r);
           })
      .def("__len__", [](const Fact& F) { return F.Slots().size(); })
      .def("__contains__",
           [](const Fact& F, py::handle Name) {
             return PyUnicode_Check(Name.ptr()) && FindSlot(F, Bytes(Name)) != nullptr;
           })
      .def("__str__", [](const Fact& F) { return Text(F.ToString()); })
      .def("__repr__", [](const Fact& F) {
        return Text("<Fact-" + std::to_string(F.Id()) + " " + F.ToString() + ">");
      });

  py::class_<TPyEngine>(m, "Engine", py::custom_type_setup([](PyHeapTypeObject* Heap) {
                          PyTypeObject* type = &Heap->ht_type;
                          type->tp_flags |= Py_TPFLAGS_HAVE_GC;
                          type->tp_traverse = TraverseEngine;
                          type->tp_clear = ClearEngine;
                        }))
      .def(py::init<>())
      .def(
          "load",
          [](TPyEngine& E, const std::string& Text) { E.Call([&] { E.Engine.Load(Text); }); },
          "text"_a)
      .def(
          "load_file",
          [](TPyEngine& E, const std::filesystem::path& Path) {
            E.Call([&] { E.Engine.LoadFile(Path.string()); });
          },
          "path"_a)
      .def(
          "eval",
          [](TPyEngine& E, const std::string& Expression) {
            return ToPython(E.Call([&] { return E.Engine.Eval(Expression); }));
          },
          "expression"_a)
      .def(
          "assert_fact",
          [](TPyEngine& E, const std::string& What, py::object Slots, py::kwargs More) {
            const size_t start = What.find_first_not_of(" \t\r\n");
            if (start != std::string::npos && What[start] == '(') {
              if (!Slots.is_none() || More.size() > 0)
                RaiseTypeError("a fact written as text takes no slot values");
              return E.Call([&] { return E.Engine.Assert(What); });
            }
            const deducer::SlotValues slots = SlotsFromPython(Slots, More);
            return E.Call([&] { return E.Engine.Assert(What, slots); });
          },
          "fact"_a, "slots"_a = py::none())
      .def(
          "assert_ordered",
          [](TPyEngine& E, const std::string& Relation, py::args Fields) {
            std::vector<Value> fields;
            for (py::handle f : Fields) fields.push_back(FromPython(f));
            return E.Call([&] { return E.Engine.AssertOrdered(Relation, fields); });
          },
          "relation"_a)
      .def(
          "retract",
          [](TPyEngine& E, py::handle F) {
            const int64_t id = FactId(F);
            return E.Call([&] { return E.Engine.Retract(id); });
          },
          "fact"_a)
      .def(
          "modify",
          [](TPyEngine& E, py::handle F, py::object Changes, py::kwargs More) {
            const int64_t id = FactId(F);
            const deducer::SlotValues changes = SlotsFromPython(Changes, More);
            return E.Call([&] { return E.Engine.Modify(id, changes); });
          },
          "fact"_a, "changes"_a = py::none())
      .def(
          "run",
          [](TPyEngine& E, std::optional<int64_t> Limit) {
            return E.Call([&] { return E.Engine.Run(Limit.value_or(-1)); });
          },
          "limit"_a = py::none())
      .def("halt", [](TPyEngine& E) { E.Engine.Halt(); })
      .def("reset", [](TPyEngine& E) { E.Call([&] { E.Engine.Reset(); }); })
      .def("clear", [](TPyEngine& E) { E.Call([&] { E.Engine.Clear(); }); })
      .def(
          "facts",
          [](TPyEngine& E, std::optional<std::string> Template) {
            return FactList(
                E.Call([&] { return Template ? E.Engine.Facts(*Template) : E.Engine.Facts(); }));
          },
          "template"_a = py::none())
      .def(
          "find_fact",
          [](TPyEngine& E, py::handle F) -> py::object {
            const int64_t id = FactId(F);
            std::optional<Fact> fact = E.Call([&] { return E.Engine.FindFact(id); });
            return fact ? py::cast(std::move(*fact)) : py::none();
          },
          "fact"_a)
      .def(
          "add_function",
          [](TPyEngine& E, const std::string& Name, py::function Function, int MinArgs,
             int MaxArgs) {
            E.Call([&] {
              E.Engine.AddVariadicFunction(Name, TPyFunction{&E, Function.ptr()}, MinArgs, MaxArgs);
            });
            // The engine's function borrows it from here; the function it
            // replaced went with the engine's old one.
            E.Functions[Name] = Function;
          },
          "name"_a, "function"_a, "min_args"_a = 0, "max_args"_a = -1)
      .def(
          "set_output",
          [](TPyEngine& E, py::object Callback) {
            if (!Callback.is_none() && !PyCallable_Check(Callback.ptr()))
              RaiseTypeError("the output callback is callable(channel, text), or None");
            E.Output = std::move(Callback);
          },
          "callback"_a)
      .def_property_readonly("output", [](const TPyEngine& E) { return E.Output; })
      .def("facts_json",
           [](TPyEngine& E) { return Text(E.Call([&] { return E.Engine.FactsJson(); })); })
      .def(
          "save_facts_json",
          [](TPyEngine& E, const std::filesystem::path& Path) {
            E.Call([&] { E.Engine.SaveFactsJson(Path.string()); });
          },
          "path"_a)
      .def(
          "load_facts_json",
          [](TPyEngine& E, const std::string& Json) {
            return E.Call([&] { return E.Engine.LoadFactsJson(Json); });
          },
          "json"_a)
      .def(
          "load_facts_json_file",
          [](TPyEngine& E, const std::filesystem::path& Path) {
            return E.Call([&] { return E.Engine.LoadFactsJsonFile(Path.string()); });
          },
          "path"_a);
}
