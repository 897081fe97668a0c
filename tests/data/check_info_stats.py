#!/usr/bin/env python3
"""Checks the JSON line of zb740-cli info --stats against a double-precision
computation over the data file's own bytes, under the local time zone of
the process (TZ).

Usage: check_info_stats.py FILE.AsmDat INFO_OUTPUT_FILE

Prints "ok" and exits 0, or prints each fault and exits 1.
"""
import json
import math
import struct
import sys
import time


def f32(x):
    return struct.unpack('<f', struct.pack('<f', x))[0]


def main():
    path, info_path = sys.argv[1:3]
    data = open(path, 'rb').read()
    count = struct.unpack_from('<i', data, 7)[0]
    values = struct.unpack_from('<%df' % (5 * count), data, 11)
    at = 11 + 20 * count
    fahrenheit = data[at] != 0
    fields = struct.unpack_from('<7i', data, at + 1)
    unit_length = data[at + 29]
    unit = data[at + 30:at + 30 + unit_length].decode('latin-1')
    gain, offset = struct.unpack_from('<2i', data, at + 30 + unit_length)
    y, mo, d, h, mi, s = fields[0:6]
    interval = fields[6]
    start = int(time.mktime((y, mo, d, h, mi, s, 0, 0, -1)))

    lines = open(info_path, encoding='utf-8').read().splitlines()
    faults = []
    if len(lines) != 1:
        faults.append('%d lines' % len(lines))
    info = json.loads(lines[0])

    def local(moment):
        return time.strftime('%Y-%m-%dT%H:%M:%S', time.localtime(moment))

    expected = {
        'count': count, 'fahrenheit': fahrenheit, 'unit': unit,
        'start': '%04d-%02d-%02dT%02d:%02d:%02d' % (y, mo, d, h, mi, s),
        'interval': interval, 'gain': gain, 'offset': offset,
        'end': local(start + (count - 1) * interval) if count else None,
    }
    keys = list(expected.keys()) + ['stats']
    if list(info.keys()) != keys:
        faults.append('keys %r' % list(info.keys()))
    for key, value in expected.items():
        if info.get(key) != value:
            faults.append('%s: %r, expected %r' % (key, info.get(key), value))

    names = ['air', 'wet_bulb', 'dew_point', 'k_ir', 'rh']
    stats = info.get('stats', {})
    if list(stats.keys()) != names:
        faults.append('stats keys %r' % list(stats.keys()))
    for c, name in enumerate(names):
        taken = []
        for i in range(count):
            v = values[5 * i + c]
            if c == 3 and v <= -1000.0:
                continue
            if fahrenheit and c != 4:
                v = f32(f32(v * f32(1.8)) + 32.0)
            if math.isfinite(v):
                taken.append((v, i))
        got = stats.get(name, {})
        if not taken:
            want = {'min': None, 'min_time': None, 'max': None, 'max_time': None, 'mean': None}
        else:
            low = min(taken, key=lambda t: (t[0], t[1]))
            high = max(taken, key=lambda t: (t[0], -t[1]))
            total = 0.0
            for v, _ in taken:
                total += v
            want = {'min': low[0], 'min_time': local(start + low[1] * interval),
                    'max': high[0], 'max_time': local(start + high[1] * interval),
                    'mean': total / len(taken)}
        if got != want:
            faults.append('%s: %r, expected %r' % (name, got, want))

    if faults:
        print('\n'.join(faults))
        sys.exit(1)
    print('ok')


main()
