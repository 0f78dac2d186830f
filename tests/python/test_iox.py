"""The iox module against simulated boxes: bytes on the wire, refusals, reads, threads."""
import gc
import os
import signal
import threading
import time

import pytest

import iox


@pytest.fixture
def bus():
    return iox.simulate([("IOX-MODEL-C", "10001"), ("IOX-MODEL-B", "30001")])


@pytest.fixture
def box(bus):
    with bus.open("10001") as box:
        bus.clear_requests()
        yield box


def report(*payload):
    return bytes([0, *payload] + [0] * (64 - len(payload)))


@pytest.mark.parametrize("call, sent", [
    ("box.relays[3] = True", [34, 3, 1]),
    ("box.relays[7] = 0", [34, 7, 0]),
    ("box.relays.byte = 0x81", [33, 0x81]),
    ("box.port_a.direction = 'input'", [24]),
    ("box.port_b.direction = 'output'", [27]),
    ("box.port_a.byte = 7", [31, 65, 7]),
    ("box.port_b.byte = 0x55", [31, 66, 0x55]),
    ("box.port_b[5] = True", [32, 66, 5, 1]),
    ("box.port_a[0] = False", [32, 65, 0, 0]),
    ("box.pulse('A0', ms=5)", [50, 65, 0, 5]),
    ("box.pulse('b7', 255)", [50, 66, 7, 255]),
    ("box.spi_out('101011', clock='B0', data='B1', latch='B2')", [36, 66, 0, 66, 1, 66, 2, 6, 1, 0, 1, 0, 1, 1]),
    ("box.spi_out_trigger('1010', trigger=True)", [37, 4, 1, 1, 0, 1, 0]),
    ("box.spi_out_trigger('1')", [37, 1, 0, 1]),
    ("box.spi_pulse_width = 10", [8, 10]),
    ("box.relays.byte", [35]),
    ("box.port_a.byte", [28]),
    ("box.port_b[5]", [30, 66, 5]),
])
def test_each_call_sends_its_request(bus, box, call, sent):
    exec(call)
    assert bus.requests("10001") == [report(*sent)]


@pytest.mark.parametrize("call, error", [
    ("box.relays[9] = True", iox.BadArgument),
    ("box.relays[1] = 2", iox.BadArgument),
    ("box.relays[True] = True", TypeError),
    ("box.port_a.direction = 'in'", iox.BadArgument),
    ("box.port_b[8] = True", iox.BadArgument),
    ("box.port_b[2 ** 70]", iox.BadArgument),
    ("box.timeout = 0", iox.BadArgument),
    ("box.wait_for('A3', 1, timeout=1)", iox.BadArgument),
    ("box.wait_for('A3', True, timeout=-1)", iox.BadArgument),
    ("iox.replay('/nonexistent/missing.rec')", iox.BadArgument),
    ("iox.simulate([('IOX-MODEL-C', '1')], record='/nonexistent/dir/x.rec')", iox.BadArgument),
])
def test_refusals_send_nothing(bus, box, call, error):
    with pytest.raises(error):
        exec(call)
    assert bus.requests("10001") == []


def test_list_and_identity(bus):
    bus2 = iox.simulate([("IOX-MODEL-C", "7"), ("IOX-MODEL-D", "7"), ("IOX-MODEL-A", "8")])
    infos = bus2.list()
    assert [(i.serial, i.model, i.path, i.duplicate) for i in infos] == [
        ("7", "IOX-MODEL-C", "sim:box0", True), ("7", "IOX-MODEL-D", "sim:box1", True),
        ("8", "IOX-MODEL-A", "sim:box2", False)]
    assert infos[0].firmware == (3, "A3")
    with bus2.open(path="sim:box1") as box:
        assert (box.serial, box.model, box.firmware) == ("7", "IOX-MODEL-D", (3, "A3"))
        with pytest.raises(iox.BadArgument, match="fixed on IOX-MODEL-D"):
            box.port_a.direction = "output"  # checked against the box's own model
    # A shared serial, an absent one, no serial with two boxes, an unknown model.
    for call, error in [(lambda: bus2.open("7"), iox.BadArgument), (lambda: bus.open("99999"), iox.NotConnected),
                        (bus.open, iox.BadArgument), (lambda: iox.simulate([("IOX-MODEL-X", "1")]), iox.BadArgument)]:
        with pytest.raises(error):
            call()


def test_with_and_garbage_collection_close_the_handle(bus):
    with bus.open("10001") as box:
        assert bus.open_handles == 1
    assert bus.open_handles == 0
    for call in (lambda: box.relays.__setitem__(0, True), lambda: box.serial):
        with pytest.raises(iox.NotConnected):
            call()
    relays = bus.open("30001").relays
    assert bus.open_handles == 1
    del relays
    gc.collect()
    assert bus.open_handles == 0


def test_no_answer_is_a_timeout_and_a_gone_box_not_connected(bus, box):
    box.timeout = 0.05
    bus.set_answer_delay("10001", 0.2)
    with pytest.raises(iox.Timeout):
        box.relays[0] = True
    bus.unplug("10001")
    with pytest.raises(iox.NotConnected):
        box.relays.byte


def test_a_second_thread_runs_and_is_refused_while_the_box_answers(bus, box):
    # The refusal can only come while the first thread waits for its answer, so it also
    # shows that the wait left the GIL to this thread.
    bus.set_answer_delay("10001", 0.3)
    answer = []
    worker = threading.Thread(target=lambda: answer.append(box.relays.byte))
    worker.start()
    time.sleep(0.1)
    with pytest.raises(iox.Busy):
        box.relays[1] = True
    worker.join()
    assert answer == [0] and bus.requests("10001") == [report(35)]


def record(address, data, kind=0):
    body = bytes([len(data), address >> 8, address & 0xFF, kind, *data])
    return ":" + (body + bytes([-sum(body) & 0xFF])).hex().upper() + "\r\n"


IMAGE = record(0, range(16)) + record(16, range(16, 32)) + record(0, [], kind=1)


def test_flash_sends_the_image_and_reports_each_line(bus, box, tmp_path):
    image = tmp_path / "USB_IO_Firmware_A4.hex"
    image.write_text(IMAGE, newline="")
    calls = []
    box.flash(image, progress=lambda fraction, line: calls.append((round(fraction, 3), line)))  # a pathlib.Path
    # At each cutting ":", then the whole image taken.
    assert calls == [(round(46 / len(IMAGE), 3), 1), (round(91 / len(IMAGE), 3), 2), (1.0, 2)]
    assert bus.requests("10001")[2:4] == [b"\0" + line.encode() + bytes(19) for line in IMAGE.splitlines(True)[:2]]
    box.relays[0] = True  # open again after the update


@pytest.mark.parametrize("name, text, line", [
    ("USB_IO_Firmware_A4.hex", record(0, range(16)) + ":10zz\r\n" + record(0, [], kind=1), 2),
    ("firmware.hex", IMAGE, None),
])
def test_a_refused_image_sends_nothing(bus, box, tmp_path, name, text, line):
    image = tmp_path / name
    image.write_text(text, newline="")
    with pytest.raises(iox.FirmwareError) as refused:
        box.flash(str(image))
    assert refused.value.line == line and refused.value.reason
    assert bus.requests("10001") == []


def test_a_progress_callback_may_use_the_bus_but_not_its_own_box(bus, box, tmp_path):
    image = tmp_path / "USB_IO_Firmware_A4.hex"
    image.write_text(IMAGE, newline="")
    seen, refused = [], []
    other = bus.open("30001")

    def progress(fraction, line):
        seen.append((len(bus.requests("10001")), other.relays.byte))
        for call in (lambda: box.relays.byte, bus.list):  # its own box; a walk that would open it
            with pytest.raises(iox.Busy) as busy:
                call()
            refused.append(str(busy.value))

    box.flash(image, progress=progress)
    assert len(seen) == 3 and "own progress callback" in refused[0] and "taking new firmware" in refused[1]


def interrupt_after(seconds):
    threading.Timer(seconds, lambda: os.kill(os.getpid(), signal.SIGINT)).start()


def test_ctrl_c_ends_a_wait_at_once_and_stops_a_flash_before_the_reset(bus, box, tmp_path):
    box.timeout = 30
    bus.set_answer_delay("10001", 20)
    started = time.monotonic()
    interrupt_after(0.2)
    with pytest.raises(KeyboardInterrupt, match="interrupted"):
        box.relays.byte
    assert time.monotonic() - started < 10  # the answer comes after 20 s
    image = tmp_path / "USB_IO_Firmware_A4.hex"
    image.write_text(IMAGE, newline="")
    with bus.open("30001") as other:
        bus.set_answer_delay("30001", 5)  # the update flag's echo is awaited 1 s
        bus.clear_requests()
        interrupt_after(0.2)
        with pytest.raises(KeyboardInterrupt, match="stopped before the update began"):
            other.flash(image)
        assert [r[1] for r in bus.requests("30001")] == [0x15]  # the update flag; no reset


def test_ctrl_c_in_the_bootloader_only_warns_and_a_second_one_stops(bus, box, tmp_path, capfd):
    image = tmp_path / "USB_IO_Firmware_A4.hex"
    image.write_text(IMAGE, newline="")
    bus.set_answer_delay("10001", 0.5)  # the second line's answer is awaited while the signals come

    def signals(*at):
        return lambda fraction, line: line == 1 and fraction < 1 and [interrupt_after(s) for s in at]

    box.flash(image, progress=signals(0.1))
    assert "stopping now would leave it there" in capfd.readouterr().err
    with pytest.raises(KeyboardInterrupt, match="stopping now would leave it there"):
        box.flash(image, progress=signals(0.1, 0.3))


def test_a_box_that_cannot_be_opened_after_its_update_says_so(bus, box, tmp_path):
    image = tmp_path / "USB_IO_Firmware_A4.hex"
    image.write_text(IMAGE, newline="")
    with bus.open("30001") as gone:
        bus.unplug("30001")
        with pytest.raises(iox.NotConnected, match="is not connected"):
            gone.flash(image)
    box.timeout = 0.1
    bus.set_answer_delay("10001", 0.2)  # the update's own bounds are longer than the box's
    with pytest.raises(iox.Timeout, match="the update finished"):
        box.flash(image)


def test_a_replayed_flash_waits_only_the_recorded_gaps(tmp_path):
    image = tmp_path / "USB_IO_Firmware_A4.hex"
    image.write_text(IMAGE, newline="")
    with iox.simulate([("IOX-MODEL-C", "10001")], record=tmp_path / "f.rec").open("10001") as box:
        box.flash(image)
    started = time.monotonic()
    with iox.replay(tmp_path / "f.rec", timing=True).open("10001") as box:
        box.flash(image)
    assert time.monotonic() - started < 1.5  # the update's two 2 s waits would take 4 s


def test_reads_follow_the_inputs_and_iterate_over_the_levels(bus, box):
    box.port_a.direction = "input"
    bus.set_inputs("10001", port="A", byte=0x81)
    assert (box.port_a.byte, box.port_a[7], box.port_a[4]) == (0x81, True, False)
    assert list(box.port_a) == [True] + [False] * 6 + [True]
    box.relays[1] = True
    assert [on for on in box.relays] == [False, True] + [False] * 6
    assert iox.__version__ and repr(bus) == "<iox.Bus simulated>"


def session(bus, relay):
    with bus.open("10001") as box:
        box.relays[relay] = True
        return box.relays.byte, box.port_b.byte


def test_a_recording_replays_and_a_changed_request_stops_it_at_its_line(tmp_path):
    path = str(tmp_path / "s.rec")
    recorded = session(iox.simulate([("IOX-MODEL-C", "10001")], record=tmp_path / "s.rec"), 3)
    replay = iox.replay(tmp_path / "s.rec")
    assert repr(replay) == "<iox.Bus replay>"
    assert session(replay, 3) == recorded == (0x08, 0)
    assert replay.replay_report is None and replay.replay_complete
    changed = iox.replay(path)
    with pytest.raises(iox.Error, match="the replay stopped"):
        session(changed, 4)
    assert "line" in changed.replay_report and not changed.replay_complete
