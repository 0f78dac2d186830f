"""The test-rig calls: one state read, waits for a line, watch, and off_on_close."""
import gc
import os
import signal
import threading
import time

import pytest

import iox

READ_A = 28


@pytest.fixture
def bus():
    return iox.simulate([("IOX-MODEL-C", "10001")])


def codes(bus):
    return [r[1] for r in bus.requests("10001")]


def later(call, after=0.05):
    threading.Timer(after, call).start()


def test_read_is_one_state_of_the_three_bytes(bus):
    with bus.open("10001") as box:
        box.port_b.byte, box.relays.byte = 0x5A, 9
        before = time.monotonic()
        state = box.read()
        assert (state.port_a, state.port_b, state.relays) == (0, 0x5A, 9)
        assert before <= state.time <= time.monotonic()


def test_waits_read_their_port_alone_until_met_timed_out_or_interrupted(bus):
    with bus.open("10001") as box:
        box.port_a.direction = "input"
        bus.clear_requests()
        later(lambda: bus.set_inputs("10001", port="A", byte=0x08))
        assert box.wait_for("A3", True, timeout=5.0) > 0
        with pytest.raises(iox.Timeout, match="A4 of the box 10001 did not read high within 0.05 s"):
            box.port_a.wait_for(4, True, timeout=0.05)
        assert set(codes(bus)) == {READ_A}
        later(lambda: bus.set_inputs("10001", port="A", byte=0x0F))
        assert box.wait_until(lambda s: s.port_a & 0x0F == 0x0F, timeout=5.0).port_a == 0x0F
        later(lambda: os.kill(os.getpid(), signal.SIGINT))
        with pytest.raises(KeyboardInterrupt):
            box.wait_for("A7", True, timeout=30.0)


def test_watch_yields_the_state_then_every_change_in_order(bus):
    with bus.open("10001") as box:
        box.port_b.direction = "input"
        seen = []
        for state in box.watch(timeout=1.0):
            seen.append(state.port_b)
            if len(seen) < 4:
                bus.set_inputs("10001", port="B", byte=len(seen))
        assert seen == [0, 1, 2, 3]


def leave(bus, how, off_on_close=True):
    box = bus.open("10001", off_on_close=off_on_close)
    box.port_a[2] = True            # A written to
    box.port_b.direction = "input"
    box.port_b[1] = True            # written, but an input: never forced low
    bus.clear_requests()
    if how == "close":
        box.close()
    elif how == "exception":
        with pytest.raises(RuntimeError), box:
            raise RuntimeError("the test failed")
    else:
        del box
        gc.collect()


@pytest.mark.parametrize("how", ["close", "exception", "collection"])
def test_off_on_close_switches_off_the_relays_and_what_this_box_drove(bus, how):
    leave(bus, how)
    relays_off, a_low = bytes([0, 33, 0]) + bytes(62), bytes([0, 31, 65, 0]) + bytes(61)
    assert bus.requests("10001") == [relays_off, a_low] and bus.open_handles == 0
    leave(bus, how, off_on_close=False)
    assert bus.requests("10001") == []


def test_a_failed_switch_off_is_noted_on_the_exception_or_raised(bus):
    with pytest.raises(RuntimeError) as ended, bus.open("10001", off_on_close=True):
        bus.unplug("10001")
        raise RuntimeError("the test failed")
    assert "could not be switched off" in ended.value.__notes__[0]
    other = iox.simulate([("IOX-MODEL-C", "10001")])
    with pytest.raises(iox.NotConnected, match="could not be switched off"), other.open("10001", off_on_close=True):
        other.unplug("10001")
