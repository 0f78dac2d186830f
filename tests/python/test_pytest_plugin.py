"""The pytest plugin in a pytest run of its own: fixtures, options, and a failing test's
recording that replays."""
import pytest

pytest_plugins = "pytester"

RIG_TESTS = """
import iox

def test_relay(iox_box):
    iox_box.relays[3] = True
    assert iox_box.relays.byte == 0x08

def test_model(iox_bus, iox_box):
    assert (iox_box.serial, iox_box.model) == (SERIAL, MODEL)
    assert iox_bus.simulated

def test_fails(iox_box):
    iox_box.port_b.byte = 0x5A
    assert iox_box.read().port_b == 0
"""


def rig(pytester, serial="10001", model="IOX-MODEL-C"):
    pytester.makepyfile(test_station=RIG_TESTS.replace("SERIAL", repr(serial)).replace("MODEL", repr(model)))


def test_fixtures_default_to_one_simulated_box_and_keep_a_failing_tests_traffic(pytester):
    rig(pytester)
    result = pytester.runpytest("-p", "iox.pytest_plugin", "--iox-record-failures", "failed")
    result.assert_outcomes(passed=2, failed=1)
    kept = sorted(p.name for p in (pytester.path / "failed").iterdir())
    assert kept == ["test_station.py_test_fails.rec"]
    again = pytester.runpytest("-p", "iox.pytest_plugin", "--iox-replay", "failed/" + kept[0], "-k", "test_fails")
    again.assert_outcomes(failed=1)
    again.stdout.fnmatch_lines(["*assert 90 == 0*"])  # the same failure, from the recording


def test_simulate_and_sn_pick_the_box(pytester):
    rig(pytester, "30002", "IOX-MODEL-B")
    result = pytester.runpytest("-p", "iox.pytest_plugin", "--iox-simulate", "IOX-MODEL-C",
                                "--iox-simulate", "IOX-MODEL-B,30002", "--iox-sn", "30002", "-k", "test_model")
    result.assert_outcomes(passed=1)

