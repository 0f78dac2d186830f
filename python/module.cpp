// The extension module inside the package `iox` (iox._native): Python names over box.h. Every
// exchange runs with the GIL released; failures arrive as the module's exceptions.

#include <pybind11/functional.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <climits>
#include <thread>
#include <utility>

#include "box.h"
#include "boxes/simulated_boxes.h"
#include "iox_version.h"

namespace py = pybind11;
using namespace iox::python;
using iox::boxes::Identity;

namespace {

struct Errors {
    PyObject* error = nullptr;
    PyObject* notConnected = nullptr;
    PyObject* timeout = nullptr;
    PyObject* badArgument = nullptr;
    PyObject* firmware = nullptr;
    PyObject* busy = nullptr;
};
Errors g_errors;

PyObject* addError(py::module_& m, const char* name, std::initializer_list<PyObject*> bases, const char* doc)
{
    py::tuple baseTuple(bases.size());
    std::size_t i = 0;
    for (PyObject* base : bases)
        baseTuple[i++] = py::handle(base);
    PyObject* type = PyErr_NewExceptionWithDoc((std::string("iox.") + name).c_str(), doc, baseTuple.ptr(), nullptr);
    if (!type)
        throw py::error_already_set();
    m.add_object(name, py::handle(type));
    return type;
}

// What Python's signal handlers raised while a call waited, raised again once it has ended.
struct Pending {
    PyObject *type = nullptr, *value = nullptr, *traceback = nullptr;
};
thread_local Pending t_pending;

// Runs Python's signal handlers; true when one raised (Ctrl-C's KeyboardInterrupt). Only the
// main thread runs them.
bool checkSignals(std::thread::id mainThread)
{
    if (std::this_thread::get_id() != mainThread)
        return false;
    py::gil_scoped_acquire gil;
    if (PyErr_CheckSignals() == 0)
        return false;
    if (!t_pending.type)
        PyErr_Fetch(&t_pending.type, &t_pending.value, &t_pending.traceback);
    PyErr_Clear();
    return true;
}

void dropPending()
{
    Pending pending = std::exchange(t_pending, Pending{});
    Py_XDECREF(pending.type);
    Py_XDECREF(pending.value);
    Py_XDECREF(pending.traceback);
}

// A KeyboardInterrupt carries the call's own words; any other exception a handler raised
// goes up as it was.
void raiseInterrupt(const Failure& failure)
{
    Pending pending = std::exchange(t_pending, Pending{});
    if (pending.type && !PyErr_GivenExceptionMatches(pending.type, PyExc_KeyboardInterrupt)) {
        PyErr_Restore(pending.type, pending.value, pending.traceback);
        return;
    }
    t_pending = pending;
    dropPending();
    PyErr_SetString(PyExc_KeyboardInterrupt, failure.what());
}

void raise(const Failure& failure)
{
    PyObject* type = nullptr;
    switch (failure.fault) {
    case Fault::Interrupted:
        raiseInterrupt(failure);
        return;
    case Fault::NotConnected: type = g_errors.notConnected; break;
    case Fault::Timeout: type = g_errors.timeout; break;
    case Fault::BadArgument: type = g_errors.badArgument; break;
    case Fault::Busy: type = g_errors.busy; break;
    case Fault::Firmware: {
        py::object error = py::reinterpret_borrow<py::object>(g_errors.firmware)(failure.what());
        error.attr("reason") = failure.reason.empty() ? std::string(failure.what()) : failure.reason;
        error.attr("line") = failure.line > 0 ? py::object(py::int_(failure.line)) : py::none();
        PyErr_SetObject(g_errors.firmware, error.ptr());
        return;
    }
    }
    PyErr_SetString(type, failure.what());
}

// A Python int (not a bool); values beyond long long become its limits, so the range
// check refuses them.
long long integer(py::handle value, const char* what)
{
    if (PyBool_Check(value.ptr()) || !PyLong_Check(value.ptr()))
        throw py::type_error(std::string(what) + " must be an int, not " + std::string(py::str(value.get_type().attr("__name__"))));
    int overflow = 0;
    const long long result = PyLong_AsLongLongAndOverflow(value.ptr(), &overflow);
    return overflow > 0 ? LLONG_MAX : overflow < 0 ? LLONG_MIN : result;
}

// A level to wait for: True or False alone.
bool strictLevel(py::handle value)
{
    if (!PyBool_Check(value.ptr()))
        throw Failure(Fault::BadArgument, "a level to wait for is True or False, got " + std::string(py::repr(value)));
    return value.ptr() == Py_True;
}

// iox.State: one read of the box, its time on time.monotonic()'s clock (the steady clock).
struct PyState {
    int portA = 0, portB = 0, relays = 0;
    double time = 0;
};

PyState toPython(const iox::boxes::State& state)
{
    return {state.a, state.b, state.relays, std::chrono::duration<double>(state.time.time_since_epoch()).count()};
}

// True/False, or the ints 1/0.
bool level(py::handle value, const char* what)
{
    if (PyBool_Check(value.ptr()))
        return value.ptr() == Py_True;
    const long long number = integer(value, what);
    if (number != 0 && number != 1)
        throw Failure(Fault::BadArgument, std::string(what) + " is True or False (or 1 or 0), got " + std::to_string(number));
    return number == 1;
}

// Runs a call without the GIL. A signal that only warned (a flash that went on) is done with
// once the call has ended well.
template <typename Call>
auto released(Call&& call)
{
    struct Ended {
        ~Ended()
        {
            if (std::uncaught_exceptions() == 0)
                dropPending();
        }
    } ended;
    py::gil_scoped_release release;
    return call();
}

// Closing takes the bus, which another thread may hold while it waits for the GIL.
struct BoxDeleter {
    void operator()(Box* box) const
    {
        py::gil_scoped_release release;
        delete box;
    }
};

// The views share the box, so a view kept after its Box keeps the handle open.
struct Relays {
    std::shared_ptr<Box> box;
};
struct Port {
    std::shared_ptr<Box> box;
    char letter;
};
// Box.watch(): the current state, then each change, until the deadline.
struct Watch {
    std::shared_ptr<Box> box;
    std::chrono::steady_clock::time_point deadline;
    std::optional<iox::boxes::State> last;
};

// The Python Box: the box and its three views, made once (box.relays[3] = True then costs
// no new object).
struct PyBox {
    std::shared_ptr<Box> box;
    py::object relays, portA, portB;

    template <typename View>
    py::object view(py::object& slot, View&& made)
    {
        if (!slot)
            slot = py::cast(std::forward<View>(made));
        return slot;
    }
};

// A member of Box as a function of the Python Box.
template <typename Result, typename... Args>
auto on(Result (Box::*member)(Args...) const)
{
    return [member](const PyBox& self, Args... args) { return ((*self.box).*member)(args...); };
}

PyBox openOn(const std::shared_ptr<Bus>& bus, std::optional<std::string> serial, std::optional<std::string> path,
             bool offOnClose)
{
    auto box = released([&] { return bus->open(serial, path); });
    box->setOffOnClose(offOnClose);
    return PyBox{std::shared_ptr<Box>(box.release(), BoxDeleter{}), {}, {}, {}};
}

// Closes the box at the end of a `with` block. A switch-off that fails is noted on the
// exception that ended the block, which goes up unchanged; after a clean block it is raised.
bool exitBlock(PyBox& self, py::handle error)
{
    try {
        released([&] { self.box->close(); });
    } catch (const Failure& failure) {
        if (error.is_none())
            throw;
        if (py::hasattr(error, "add_note"))
            error.attr("add_note")(std::string("iox: ") + failure.what());
    }
    return false;
}

const char* kTimeoutArg = "Seconds to wait before iox.Timeout; each exchange is bounded by Box.timeout as well.";

// Bits 0 to 7 of a byte as bools, to iterate over.
py::iterator levelsOf(std::uint8_t byte)
{
    py::list levels;
    for (int bit = 0; bit < 8; ++bit)
        levels.append(py::bool_((byte >> bit) & 1));
    return py::iter(levels);
}

// A file named as a str or any os.PathLike (pathlib.Path).
std::string fsPath(py::handle file) { return py::str(py::module_::import("os").attr("fspath")(file)); }
std::optional<std::string> fsPath(const std::optional<py::object>& file)
{
    return file ? std::optional(fsPath(*file)) : std::nullopt;
}

// A box given by serial number or path, as a str.
const char* kBoxArg = "The box's serial number, or its path.";

// The exception classes, and the translation of a Failure into one of them.
void bindErrors(py::module_& m)
{
    g_errors.error = addError(m, "Error", {PyExc_Exception}, "Base of every failure the module reports.");
    g_errors.notConnected = addError(m, "NotConnected", {g_errors.error},
                                     "No such box, it cannot be opened, it is gone from the bus, or the Box is closed.");
    g_errors.timeout = addError(m, "Timeout", {g_errors.error, PyExc_TimeoutError},
                                "The box did not answer within its timeout (Box.timeout).");
    g_errors.badArgument = addError(m, "BadArgument", {g_errors.error, PyExc_ValueError},
                                    "An argument the box cannot take; nothing was sent.");
    g_errors.firmware = addError(m, "FirmwareError", {g_errors.error},
                                 "The image was refused before the box was touched, or the update failed.\n"
                                 "Attributes: reason (str) and line (1-based image line, or None).");
    g_errors.busy = addError(m, "Busy", {g_errors.error},
                             "The Box is in the middle of a call from another thread.");
    py::register_exception_translator([](std::exception_ptr thrown) {
        try {
            if (thrown)
                std::rethrow_exception(thrown);
        } catch (const Failure& failure) {
            raise(failure);
        }
    });
}

// iox.BoxInfo: one box as a listing found it.
void bindBoxInfo(py::module_& m)
{
    // What a box that did not answer could not say is None.
    const auto serial = [](const Identity& box) { return box.answered ? py::cast(box.serial) : py::none(); };
    py::class_<Identity>(m, "BoxInfo", "One box on a bus, as it answered when listed.")
        .def_readonly("path", &Identity::path, "Device path; opens this very box with Bus.open(path=...).")
        .def_property_readonly("serial", serial, "Serial number (str), or None when the box could not be asked.")
        .def_readonly("model", &Identity::model, "Model name, e.g. \"IOX-MODEL-C\", or None.")
        .def_property_readonly(
            "firmware",
            [](const Identity& box) -> py::object {
                if (!box.firmware)
                    return py::none();
                return py::make_tuple(box.firmware->level, box.firmware->revision);
            },
            "(level, revision text), or None.")
        .def_readonly("duplicate", &Identity::sharedSerial, "True when another listed box reports the same serial number.")
        .def("__repr__", [serial](const Identity& box) {
            return "BoxInfo(serial=" + std::string(py::repr(serial(box))) + ", model=" +
                   std::string(py::repr(py::cast(box.model))) + ", path=" + std::string(py::repr(py::cast(box.path))) +
                   (box.sharedSerial ? ", duplicate=True)" : ")");
        });
}

// iox.Relays: box.relays.
void bindRelays(py::module_& m)
{
    py::class_<Relays>(m, "Relays", "The eight relays of a box: relays[i] (i 0 to 7, bool) and relays.byte.")
        .def("__setitem__",
             [](Relays& r, py::int_ i, py::object on) {
                 const long long relay = integer(i, "a relay");
                 const bool state = level(on, "a relay's state");
                 released([&] { r.box->setRelay(relay, state); });
             })
        .def("__getitem__",
             [](Relays& r, py::int_ i) {
                 const long long relay = integer(i, "a relay");
                 return released([&] { return r.box->relay(relay); });
             })
        .def("__len__", [](const Relays&) { return 8; })
        .def("__iter__", [](Relays& r) { return levelsOf(released([&] { return r.box->relayByte(); })); },
             "The eight relays' states, from one read of the relay byte.")
        .def_property(
            "byte", [](Relays& r) { return released([&] { return r.box->relayByte(); }); },
            [](Relays& r, py::int_ byte) {
                const long long value = integer(byte, "a relay byte");
                released([&] { r.box->setRelayByte(value); });
            },
            "The relay byte, bit i = relay i (Read_Relays_Byte / Set_RelayByte).");
}

// iox.Port: box.port_a and box.port_b.
void bindPort(py::module_& m)
{
    py::class_<Port>(m, "Port", "Port A or B: direction, the port byte, and its lines port[i] (i 0 to 7, bool).")
        .def_property(
            "direction", [](const Port& p) { return p.box->direction(p.letter); },
            [](Port& p, const std::string& direction) {
                released([&] { p.box->setDirection(p.letter, direction); });
            },
            "\"input\" or \"output\". Reads back what this Box last set (None before): the box cannot say.")
        .def_property(
            "byte", [](Port& p) { return released([&] { return p.box->portByte(p.letter); }); },
            [](Port& p, py::int_ byte) {
                const long long value = integer(byte, "a port byte");
                released([&] { p.box->setPortByte(p.letter, value); });
            },
            "The port byte, bit i = line i: what the port reads, or drives when set.")
        .def("__setitem__",
             [](Port& p, py::int_ i, py::object high) {
                 const long long bit = integer(i, "a line");
                 const bool state = level(high, "a line's level");
                 released([&] { p.box->setLine(p.letter, bit, state); });
             })
        .def("__getitem__",
             [](Port& p, py::int_ i) {
                 const long long bit = integer(i, "a line");
                 return released([&] { return p.box->line(p.letter, bit); });
             })
        .def("__len__", [](const Port&) { return 8; })
        .def("__iter__", [](Port& p) { return levelsOf(released([&] { return p.box->portByte(p.letter); })); },
             "The eight lines' levels, from one read of the port byte.")
        .def(
            "wait_for",
            [](Port& p, py::int_ i, py::object high, double timeout) {
                const long long bit = integer(i, "a line");
                const bool level = strictLevel(high);
                return released([&] { return p.box->waitFor(p.letter, bit, level, timeout); });
            },
            py::arg("bit"), py::arg("level"), py::kw_only(), py::arg("timeout"),
            (std::string("Seconds until line `bit` of this port reads `level` (True or False), reading this port "
                         "alone, back to back. ") + kTimeoutArg).c_str())
        .def_property_readonly("name", [](const Port& p) { return std::string(1, p.letter); });
}

// iox.State and the iterator of Box.watch().
void bindState(py::module_& m)
{
    py::class_<PyState>(m, "State", "One read of a box: port_a, port_b and relays (ints 0-255, bit i = line or relay i)\n"
                                    "and time, when the read ended, on time.monotonic()'s clock.")
        .def(py::init([](int a, int b, int relays, double time) { return PyState{a, b, relays, time}; }),
             py::arg("port_a"), py::arg("port_b"), py::arg("relays"), py::arg("time"))
        .def_readonly("port_a", &PyState::portA)
        .def_readonly("port_b", &PyState::portB)
        .def_readonly("relays", &PyState::relays)
        .def_readonly("time", &PyState::time)
        .def("__eq__", [](const PyState& a, const PyState& b) {
            return a.portA == b.portA && a.portB == b.portB && a.relays == b.relays && a.time == b.time;
        })
        .def("__repr__", [](const PyState& s) {
            char text[120];
            std::snprintf(text, sizeof text, "State(port_a=0x%02x, port_b=0x%02x, relays=0x%02x, time=%.6f)", s.portA,
                          s.portB, s.relays, s.time);
            return std::string(text);
        });
    py::class_<Watch>(m, "Watch", "The iterator Box.watch() gives.")
        .def("__iter__", [](py::object self) { return self; })
        .def("__next__", [](Watch& w) {
            const auto next = released([&]() -> std::optional<iox::boxes::State> {
                if (!w.last)
                    return w.box->read();
                return w.box->nextChange(*w.last, w.deadline);
            });
            if (!next)
                throw py::stop_iteration();
            w.last = next;
            return toPython(*next);
        });
}

// iox.Box: an open box.
void bindBox(py::module_& m)
{
    py::class_<PyBox>(m, "Box",
                               "An open box. Use it in a `with` block (or call close()); a Box that is garbage-\n"
                               "collected closes its handle too. A closed Box raises iox.NotConnected.\n"
                               "One call at a time: a second thread calling while a call runs gets iox.Busy.\n"
                               "Exchanges release the GIL, so other threads run while the box answers.")
        .def("__enter__", [](py::object self) { return self; })
        .def("__exit__", [](PyBox& self, py::handle, py::handle error, py::handle) { return exitBlock(self, error); })
        .def("close", [](PyBox& self) { released([&] { self.box->close(); }); },
             "Close the handle; closing twice is harmless. Opened with off_on_close=True, first switch the\n"
             "relays off and write 0 to every port this Box set as output or wrote to.")
        .def("read", [](PyBox& self) { return toPython(released([&] { return self.box->read(); })); },
             "One read of ports A and B and the relays, as an iox.State.")
        .def(
            "wait_for",
            [](PyBox& self, const std::string& line, py::object high, double timeout) {
                const bool level = strictLevel(high);
                return released([&] { return self.box->waitFor(line, level, timeout); });
            },
            py::arg("line"), py::arg("level"), py::kw_only(), py::arg("timeout"),
            (std::string("Seconds until the line (\"A0\"..\"B7\") reads `level` (True or False), reading its port "
                         "alone, back to back. ") + kTimeoutArg).c_str())
        .def(
            "wait_until",
            [](PyBox& self, std::function<bool(PyState)> holds, double timeout) {
                const auto condition = [&](const iox::boxes::State& state) {
                    py::gil_scoped_acquire gil;
                    return holds(toPython(state));
                };
                return toPython(released([&] { return self.box->waitUntil(condition, timeout); }));
            },
            py::arg("predicate"), py::kw_only(), py::arg("timeout"),
            (std::string("The first iox.State, read back to back, for which predicate(state) is true. ") + kTimeoutArg).c_str())
        .def(
            "watch",
            [](PyBox& self, double timeout) {
                if (!(timeout >= 0 && timeout <= 31536000))
                    throw Failure(Fault::BadArgument, "a watch's timeout is 0 to 31536000 s");
                const auto length = std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                    std::chrono::duration<double>(timeout));
                return Watch{self.box, std::chrono::steady_clock::now() + length, std::nullopt};
            },
            py::arg("timeout"),
            "Iterate over the current iox.State, then each one that differs from the last, read back to back,\n"
            "until `timeout` seconds have passed (then the iteration ends, with no error).")
        .def_property_readonly("closed", on(&Box::closed))
        .def_property_readonly("serial", on(&Box::serial), "Serial number, as the box reported it when opened.")
        .def_property_readonly("model", on(&Box::model), "Model name, e.g. \"IOX-MODEL-C\".")
        .def_property_readonly("path", on(&Box::path), "Device path.")
        .def_property_readonly(
            "firmware", [](const PyBox& self) { return py::make_tuple(self.box->firmware().level, self.box->firmware().revision); },
            "(level, revision text), e.g. (3, \"A3\"), as GetExtFirmware reports it.")
        .def_property(
            "timeout", on(&Box::timeout),
            [](PyBox& self, double seconds) { released([&] { self.box->setTimeout(seconds); }); },
                      "Seconds an exchange may take before iox.Timeout (default 1.0).")
        .def_property_readonly("relays", [](PyBox& self) { return self.view(self.relays, Relays{self.box}); },
                               "The relays: box.relays[3] = True; box.relays.byte = 0x81.")
        .def_property_readonly("port_a", [](PyBox& self) { return self.view(self.portA, Port{self.box, 'A'}); },
                               "Port A.")
        .def_property_readonly("port_b", [](PyBox& self) { return self.view(self.portB, Port{self.box, 'B'}); },
                               "Port B.")
        .def(
            "pulse",
            [](PyBox& self, const std::string& line, py::int_ ms) {
                const long long length = integer(ms, "a pulse's length");
                released([&] { self.box->pulse(line, length); });
            },
            py::arg("line"), py::arg("ms"), "One timed pulse on a line \"A0\"..\"B7\", 0 to 255 ms (Set_TTLPulse).")
        .def(
            "spi_out",
            [](PyBox& self, const std::string& word, const std::string& clock, const std::string& data,
               const std::string& latch) { released([&] { self.box->spiOut(word, clock, data, latch); }); },
            py::arg("word"), py::kw_only(), py::arg("clock"), py::arg("data"), py::arg("latch"),
            "Shift a word of 1 to 56 characters 0 and 1 out, first bit first, on three different lines (SPI_OUT).")
        .def(
            "spi_out_trigger",
            [](PyBox& self, const std::string& word, py::object trigger) {
                const bool flag = level(trigger, "trigger");
                released([&] { self.box->spiOutTrigger(word, flag); });
            },
            py::arg("word"), py::kw_only(), py::arg("trigger") = false,
            "Shift a word of 1 to 61 characters 0 and 1 out on the box's own lines (SPI_OUT_Trigg).")
        .def_property(
            "spi_pulse_width", on(&Box::spiPulseWidth),
            [](PyBox& self, py::int_ us) {
                const long long width = integer(us, "a pulse width");
                released([&] { self.box->setSpiPulseWidth(width); });
            },
            "Serial clock pulse width, 0 to 255 us (Set_SPI_PulseWidth). Reads what this Box last set, or None.")
        .def(
            "flash",
            [](PyBox& self, py::object fileArg, std::optional<std::function<void(double, int)>> progress) {
                const std::string file = fsPath(fileArg);
                Box::Progress report;
                if (progress)
                    report = [&](double fraction, int line) {
                        py::gil_scoped_acquire gil;
                        (*progress)(fraction, line);
                    };
                released([&] { self.box->flash(file, report); });
            },
            py::arg("file"), py::arg("progress") = py::none(),
            "Write a firmware image (an Intel HEX file named USB_IO_Firmware_...) into the box.\n"
            "progress(fraction, line) is called after each line the bootloader accepts.\n"
            "A refused image raises iox.FirmwareError before anything is sent; so does a failed update.")
        .def("__repr__", [](const PyBox& self) {
            if (self.box->closed())
                return std::string("<iox.Box closed, was at ") + self.box->path() + ">";
            return "<iox.Box " + self.box->serial() + " " + self.box->model() + " at " + self.box->path() + ">";
        });
}

// iox.Bus: the boxes of one bus.
void bindBus(py::module_& m)
{
    // Bus calls take the bus's lock: they too leave the GIL first, as a firmware update's
    // progress call holds that lock while it waits for the GIL.
    py::class_<Bus, std::shared_ptr<Bus>>(m, "Bus", "The boxes on one bus: the real HID boxes (iox.hid()) or simulated ones.")
        .def("list", [](Bus& bus) { return released([&] { return bus.list(); }); }, "Every box on the bus, as BoxInfo.")
        .def("open", &openOn, py::arg("serial") = py::none(), py::kw_only(), py::arg("path") = py::none(),
             py::arg("off_on_close") = false,
             "Open the box with this serial number, or the one at path=...; with neither, the only box attached.\n"
             "off_on_close=True: on close, at the end of a `with` block (also on an exception) and at garbage\n"
             "collection, the relays go off and every port this Box set as output or wrote to goes to 0;\n"
             "no direction changes.")
        .def_property_readonly("simulated", &Bus::isSimulated)
        .def(
            "requests",
            [](Bus& bus, const std::string& box) {
                py::list out;
                for (const auto& report : released([&] { return bus.requests(box); }))
                    out.append(py::bytes(reinterpret_cast<const char*>(report.data()), report.size()));
                return out;
            },
            py::arg("box"), (std::string("Simulated buses only: every request the box received, 65 bytes each. ") + kBoxArg).c_str())
        .def("clear_requests", &Bus::clearRequests, py::call_guard<py::gil_scoped_release>(), "Simulated buses only: forget the request logs.")
        .def(
            "set_inputs",
            [](Bus& bus, const std::string& box, const std::string& port, py::int_ byte) {
                const long long levels = integer(byte, "a port byte");
                released([&] { bus.setInputs(box, port, levels); });
            },
            py::arg("box"), py::kw_only(), py::arg("port"), py::arg("byte"),
            "Simulated buses only: the levels the port's lines read while the port is an input.")
        .def("set_answer_delay", &Bus::setAnswerDelay, py::arg("box"), py::arg("seconds"), py::call_guard<py::gil_scoped_release>(),
             "Simulated buses only: each answer of the box arrives this late.")
        .def_property_readonly("open_handles", [](Bus& bus) { return released([&] { return bus.openHandles(); }); }, "Simulated buses only: handles open now.")
        .def("unplug", &Bus::unplug, py::arg("box"), py::call_guard<py::gil_scoped_release>(), "Simulated buses only: the box leaves the bus.")
        .def_property_readonly(
            "replay_report",
            [](const Bus& bus) -> std::optional<std::string> {
                std::string report = bus.replayStopReport();
                return report.empty() ? std::nullopt : std::optional(report);
            },
            "Replay buses only: why the replay stopped (the recording's line, the recorded and the actual "
            "request), or None while every call matched.")
        .def_property_readonly("replay_complete", &Bus::replayComplete,
                               "Replay buses only: every recorded call was served and none differed.")
        .def("__repr__", [](const Bus& bus) {
            return std::string(bus.isSimulated() ? "<iox.Bus simulated>" : bus.isReplay() ? "<iox.Bus replay>" : "<iox.Bus hid>");
        });
}

// iox.simulate, iox.hid, iox.replay and iox.open: the ways to a bus.
void bindBuses(py::module_& m)
{
    m.attr("__version__") = iox::kVersion;
    m.def(
        "simulate",
        [](const std::vector<std::pair<std::string, std::string>>& boxes, std::optional<py::object> record) {
            return Bus::simulated(boxes, fsPath(record));
        },
        py::arg("boxes"), py::kw_only(), py::arg("record") = py::none(),
          "A bus of simulated boxes from (model, serial) pairs; their paths are sim:box0, sim:box1...\n"
          "record=PATH also writes every call to the boxes into that file (see iox.replay).");
    m.def(
        "hid", [](std::optional<py::object> record) { return Bus::hid(fsPath(record)); }, py::kw_only(),
        py::arg("record") = py::none(),
          "The bus of the real boxes (hidapi). record=PATH writes every call to the boxes into that file, "
          "for a bug report.");
    m.def(
        "replay", [](py::object path, bool timing) { return Bus::replay(fsPath(path), timing); }, py::arg("path"),
        py::kw_only(), py::arg("timing") = false,
          "A bus that plays back a recording (iox.hid(record=...), ioxctl --record...): every request "
          "must equal the recorded one; at the first that differs the replay stops (see Bus.replay_report) "
          "and every call fails from then on. A cut or corrupt recording raises iox.BadArgument naming its line.");
    m.def(
        "open",
        [](std::optional<std::string> serial, std::optional<std::string> path, bool offOnClose) {
            return openOn(Bus::hid({}), serial, path, offOnClose);
        },
        py::arg("serial") = py::none(), py::kw_only(), py::arg("path") = py::none(), py::arg("off_on_close") = false,
        "iox.hid().open(...).");
    m.def(
        "_simulate_options",
        [](const std::vector<std::string>& texts) {
            std::vector<std::pair<std::string, std::string>> boxes;
            for (std::size_t i = 0; i < texts.size(); ++i) {
                std::string error;
                const auto box = iox::boxes::parseSimulateOption(texts[i], i, "--iox-simulate", error);
                if (!box)
                    throw Failure(Fault::BadArgument, error);
                boxes.emplace_back(box->model, box->serial);
            }
            return boxes;
        },
        "(model, serial) pairs from MODEL[,SN] texts, as ioxctl's --simulate takes them (the pytest plugin's option).");
}

}  // namespace

PYBIND11_MODULE(_native, m)
{
    m.doc() = "The USB To I/O boxes from Python: relays, ports A and B, lines, pulses, serial output\n"
              "and the firmware update, on the real boxes (iox.hid) or simulated ones (iox.simulate).\n\n"
              "Every failure raises an iox.Error; nothing returns a silent 0.";

    setSignalCheck([mainThread = std::this_thread::get_id()] { return checkSignals(mainThread); });
    bindErrors(m);
    bindBoxInfo(m);
    bindRelays(m);
    bindPort(m);
    bindState(m);
    bindBox(m);
    bindBus(m);
    bindBuses(m);
}
