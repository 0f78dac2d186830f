"""The USB To I/O boxes from Python: relays, ports A and B, lines, pulses, serial output, waits
for a line, and the firmware update, on the real boxes (iox.hid) or simulated ones
(iox.simulate). The pytest plugin is iox.pytest_plugin.

Every failure raises an iox.Error; nothing returns a silent 0."""

from types import TracebackType
from os import PathLike
from typing import Callable, Iterator, Literal, Optional, Sequence, Tuple, Type, Union

__version__: str

File = Union[str, PathLike[str]]

class Error(Exception):
    """Base of every failure the module reports."""

class NotConnected(Error):
    """No such box, it cannot be opened, it is gone from the bus, or the Box is closed."""

class Timeout(Error, TimeoutError):
    """The box did not answer within its timeout (Box.timeout)."""

class BadArgument(Error, ValueError):
    """An argument the box cannot take; nothing was sent."""

class FirmwareError(Error):
    """The image was refused before the box was touched, or the update failed."""
    reason: str
    line: Optional[int]  # 1-based image line at fault, or None

class Busy(Error):
    """The Box is in the middle of a call from another thread."""

class BoxInfo:
    """One box on a bus, as it answered when listed."""
    @property
    def path(self) -> str: ...
    @property
    def serial(self) -> Optional[str]: ...  # None: the box could not be asked
    @property
    def model(self) -> Optional[str]: ...
    @property
    def firmware(self) -> Optional[Tuple[int, str]]: ...  # (level, revision)
    @property
    def duplicate(self) -> bool: ...  # another listed box reports the same serial number

class Relays:
    """The eight relays: relays[i] (i 0 to 7) and relays.byte (bit i = relay i)."""
    byte: int
    def __getitem__(self, relay: int) -> bool: ...
    def __setitem__(self, relay: int, on: bool | int) -> None: ...
    def __len__(self) -> int: ...
    def __iter__(self) -> Iterator[bool]: ...  # the eight relays, from one read

class Port:
    """Port A or B: direction, the port byte, and its lines port[i] (i 0 to 7)."""
    @property
    def direction(self) -> Optional[Literal["input", "output"]]:
        """What this Box last set (None before): the box cannot report it."""
    @direction.setter
    def direction(self, value: Literal["input", "output"]) -> None: ...
    byte: int
    @property
    def name(self) -> Literal["A", "B"]: ...
    def __getitem__(self, line: int) -> bool: ...
    def __setitem__(self, line: int, high: bool | int) -> None: ...
    def __len__(self) -> int: ...
    def __iter__(self) -> Iterator[bool]: ...  # the eight lines, from one read
    def wait_for(self, bit: int, level: bool, *, timeout: float) -> float:
        """Seconds until line `bit` of this port reads `level`, reading this port alone;
        iox.Timeout after `timeout` s."""

class State:
    """One read of a box; time is when it ended, on time.monotonic()'s clock."""
    def __init__(self, port_a: int, port_b: int, relays: int, time: float) -> None: ...
    @property
    def port_a(self) -> int: ...
    @property
    def port_b(self) -> int: ...
    @property
    def relays(self) -> int: ...
    @property
    def time(self) -> float: ...

class Watch(Iterator[State]):
    def __next__(self) -> State: ...

class Box:
    """An open box; close it with `with` or close() (garbage collection closes it too).
    One call at a time: a second thread calling while a call runs gets iox.Busy."""
    def __enter__(self) -> Box: ...
    def __exit__(self, kind: Optional[Type[BaseException]], value: Optional[BaseException],
                 trace: Optional[TracebackType]) -> bool: ...
    def close(self) -> None:
        """Opened with off_on_close=True: first the relays off and 0 on every port this Box set
        as output or wrote to (never a direction change)."""
    @property
    def closed(self) -> bool: ...
    @property
    def serial(self) -> str: ...
    @property
    def model(self) -> str: ...
    @property
    def path(self) -> str: ...
    @property
    def firmware(self) -> Tuple[int, str]: ...  # (level, revision), e.g. (3, "A3")
    timeout: float  # seconds an exchange may take before iox.Timeout
    @property
    def relays(self) -> Relays: ...
    @property
    def port_a(self) -> Port: ...
    @property
    def port_b(self) -> Port: ...
    def pulse(self, line: str, ms: int) -> None:
        """One timed pulse on a line "A0".."B7", 0 to 255 ms."""
    def spi_out(self, word: str, *, clock: str, data: str, latch: str) -> None:
        """Shift 1 to 56 characters 0 and 1 out, first bit first, on three different lines."""
    def spi_out_trigger(self, word: str, *, trigger: bool = False) -> None:
        """Shift 1 to 61 characters 0 and 1 out on the box's own lines."""
    @property
    def spi_pulse_width(self) -> Optional[int]:
        """Serial clock pulse width in us (0 to 255) as this Box last set it, or None."""
    @spi_pulse_width.setter
    def spi_pulse_width(self, us: int) -> None: ...
    def read(self) -> State:
        """Ports A and B and the relays, from one read."""
    def wait_for(self, line: str, level: bool, *, timeout: float) -> float:
        """Seconds until the line ("A0".."B7") reads `level`, reading its port alone, back to
        back; iox.Timeout after `timeout` s, BadArgument for a line the model lacks."""
    def wait_until(self, predicate: Callable[[State], bool], *, timeout: float) -> State:
        """The first State for which predicate(state) is true; iox.Timeout after `timeout` s."""
    def watch(self, timeout: float) -> Watch:
        """The current State, then one per change, until `timeout` s have passed (no error)."""
    def flash(self, file: File, progress: Optional[Callable[[float, int], None]] = None) -> None:
        """Write a firmware image (USB_IO_Firmware_*.hex) into the box; progress(fraction, line)
        after each accepted line. Raises FirmwareError (nothing sent when the image is refused)."""

class Bus:
    """The boxes on one bus: the real HID boxes (iox.hid()) or simulated ones (iox.simulate())."""
    def list(self) -> list[BoxInfo]: ...
    def open(self, serial: Optional[str] = None, *, path: Optional[str] = None,
             off_on_close: bool = False) -> Box:
        """The box with this serial number, or at path; with neither, the only box attached."""
    @property
    def simulated(self) -> bool: ...
    # Simulated buses only; box is a serial number or a path such as "sim:box0".
    def requests(self, box: str) -> list[bytes]:
        """Every request the box received, 65 bytes each."""
    def clear_requests(self) -> None: ...
    def set_inputs(self, box: str, *, port: Literal["A", "B"], byte: int) -> None: ...
    def set_answer_delay(self, box: str, seconds: float) -> None: ...
    def unplug(self, box: str) -> None: ...
    @property
    def open_handles(self) -> int: ...
    # Replay buses only (iox.replay).
    @property
    def replay_report(self) -> Optional[str]:
        """Why the replay stopped (the recording's line, recorded and actual request), or None."""
    @property
    def replay_complete(self) -> bool:
        """Every recorded call was served and none differed."""

def simulate(boxes: Sequence[Tuple[str, str]], *, record: Optional[File] = None) -> Bus:
    """A bus of simulated boxes from (model, serial) pairs; paths sim:box0, sim:box1...
    record=PATH also writes every call to the boxes into that file."""

def hid(*, record: Optional[File] = None) -> Bus:
    """The bus of the real boxes; record=PATH writes every call to the boxes into that file."""

def replay(path: File, *, timing: bool = False) -> Bus:
    """A bus that plays back a recording; a cut or corrupt one raises BadArgument naming its line."""

def open(serial: Optional[str] = None, *, path: Optional[str] = None, off_on_close: bool = False) -> Box:
    """iox.hid().open(...)."""
