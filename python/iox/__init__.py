"""The USB To I/O boxes from Python: relays, ports A and B, lines, pulses, serial output, waits
for a line, and the firmware update, on the real boxes (iox.hid) or simulated ones
(iox.simulate).

Every failure raises an iox.Error; nothing returns a silent 0. The pytest plugin is
iox.pytest_plugin."""

from ._native import *  # noqa: F401,F403
from ._native import __version__  # noqa: F401

from . import _native

# The classes are the package's own, wherever they are built.
for _name in ("Bus", "Box", "BoxInfo", "Relays", "Port", "State", "Watch"):
    getattr(_native, _name).__module__ = __name__
del _name
