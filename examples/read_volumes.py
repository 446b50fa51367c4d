#!/usr/bin/python3
"""Reads the counter on a port and prints the vehicles of each period.

    /usr/bin/python3 read_volumes.py 3        (the counter on COM3)
"""
import sys

import tallyx

with tallyx.Counter(port=sys.argv[1] if len(sys.argv) > 1 else 1) as counter:
    counter.read()
    print("period end               vehicles  reverse")
    for period in counter.periodic():
        print(f"{period.time:%Y-%m-%d %H:%M:%S.000}  {period.count:8d}  {period.reverse_count:7d}")
