"""Read and program roadside traffic counters through the tallyx library.

A Counter is one library context: set its properties by name, read or program
the counter, then take the records as dataclasses or as plain rows::

    with tallyx.Counter(port=3) as counter:
        counter.read()
        vehicles = counter.sequential()

Every failure raises TallyxError with the library's return code and its name.
An exception raised in a progress or prompt callback stops the operation and
is raised again when the operation returns.
"""
from ._library import (
    PERIOD_COLUMNS,
    VEHICLE_COLUMNS,
    Counter,
    PeriodicRecord,
    SequentialRecord,
    TallyxError,
    RETURN_CODES,
    code_name,
)

__all__ = ["PERIOD_COLUMNS", "VEHICLE_COLUMNS", "Counter", "PeriodicRecord", "SequentialRecord", "TallyxError", "RETURN_CODES", "code_name"]
__version__ = "1.0.0"
