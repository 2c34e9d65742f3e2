#!/usr/bin/env python3
# Counts the AT-SPI events of every application for N seconds (default 10) and prints the rate by kind.
import collections
import sys

import pyatspi
from gi.repository import GLib

seconds = float(sys.argv[1]) if len(sys.argv) > 1 else 10
counts = collections.Counter()


def count(event):
    counts[':'.join(event.type.split(':')[:2])] += 1


pyatspi.Registry.registerEventListener(count, 'object', 'window', 'focus', 'document')
GLib.timeout_add(int(seconds * 1000), pyatspi.Registry.stop)
pyatspi.Registry.start()
total = sum(counts.values())
print(f'events: {total} in {seconds:.0f} s = {total / seconds:.1f}/s')
for kind, n in counts.most_common():
    print(f'  {kind}: {n} ({n / seconds:.1f}/s)')
