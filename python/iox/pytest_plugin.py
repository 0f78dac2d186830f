"""pytest fixtures for test rigs: a bus for each test and its box, opened with
off_on_close=True so that a failing test leaves the device under test unpowered.

Loads by itself where the package is installed; from a build tree, `-p iox.pytest_plugin`.

Options: --iox-simulate MODEL[,SN] (repeatable; with no option, one simulated IOX-MODEL-C,
serial 10001), --iox-sn SN (the real boxes, this one), --iox-record-failures DIR (each failing
test's traffic kept as DIR/<test>.rec) and --iox-replay FILE (each test's bus plays FILE).
"""

import os
import re
import tempfile

import pytest

import iox
from iox._native import _simulate_options

DEFAULT_BOX = "IOX-MODEL-C,10001"


def pytest_addoption(parser):
    group = parser.getgroup("iox", "USB To I/O boxes")
    group.addoption("--iox-simulate", action="append", default=[], metavar="MODEL[,SN]",
                    help="run against a simulated box (repeatable); the default when no --iox option is given")
    group.addoption("--iox-sn", metavar="SN", help="the box iox_box opens; alone, on the real boxes")
    group.addoption("--iox-record-failures", metavar="DIR",
                    help="keep each failing test's traffic as DIR/<test>.rec, for iox.replay and ioxctl --replay")
    group.addoption("--iox-replay", metavar="FILE", help="each test's bus plays this recording")


@pytest.hookimpl(hookwrapper=True)
def pytest_runtest_makereport(item, call):
    outcome = yield
    report = outcome.get_result()
    if report.failed:
        item.stash[_failed] = True


_failed = pytest.StashKey[bool]()


def recording_name(nodeid):
    """The file a test's recording is kept in: its node id, made a file name."""
    return re.sub(r"[^\w.\[\]-]+", "_", nodeid).strip("_") + ".rec"


def _bus(options, record):
    if options.iox_replay:
        return iox.replay(options.iox_replay)
    if options.iox_sn and not options.iox_simulate:
        return iox.hid(record=record)
    boxes = _simulate_options(options.iox_simulate or [DEFAULT_BOX])
    return iox.simulate(boxes, record=record)


@pytest.fixture
def iox_bus(request):
    """A fresh bus for each test: simulated, the real boxes (--iox-sn) or a replay (--iox-replay)."""
    options = request.config.option
    folder = options.iox_record_failures
    record = None
    if folder and not options.iox_replay:
        os.makedirs(folder, exist_ok=True)
        handle, record = tempfile.mkstemp(suffix=".rec.part", dir=folder)
        os.close(handle)
    bus = _bus(options, record)
    yield bus
    if record:
        if request.node.stash.get(_failed, False):
            os.replace(record, os.path.join(folder, recording_name(request.node.nodeid)))
        else:
            os.remove(record)


@pytest.fixture
def iox_box(request, iox_bus):
    """The box --iox-sn names, else the first box listed, opened with off_on_close=True."""
    serial = request.config.option.iox_sn
    if serial:
        box = iox_bus.open(serial, off_on_close=True)
    else:
        listed = iox_bus.list()
        if not listed:
            raise iox.NotConnected("no box on the bus")
        box = iox_bus.open(path=listed[0].path, off_on_close=True)
    with box:
        yield box
