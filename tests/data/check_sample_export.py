#!/usr/bin/env python3
"""Checks a csv or jsonl export of a .AsmDat data file with parsers this
program did not write: Python's csv and json modules and
datetime.fromisoformat. The expected values are computed here from the data
file's own bytes, under the local time zone of the process (TZ).

Usage: check_sample_export.py FILE.AsmDat EXPORT csv|jsonl local|utc

Prints "ok N" (N samples checked) and exits 0, or prints each fault and
exits 1.
"""
import csv
import datetime
import json
import math
import re
import struct
import sys
import time


def f32(x):
    """x rounded to single precision, as the program's float arithmetic."""
    return struct.unpack('<f', struct.pack('<f', x))[0]


def read_asmdat(path):
    data = open(path, 'rb').read()
    assert data[0] == 6 and data[1:7] == b'KM4471', 'not a data file'
    count = struct.unpack_from('<i', data, 7)[0]
    values = struct.unpack_from('<%df' % (5 * count), data, 11)
    at = 11 + 20 * count
    fahrenheit = data[at] != 0
    fields = struct.unpack_from('<7i', data, at + 1)
    return {
        'count': count,
        'values': [values[5 * i:5 * i + 5] for i in range(count)],
        'fahrenheit': fahrenheit,
        'start': fields[0:6],
        'interval': fields[6],
    }


def shown(stored, channel, fahrenheit):
    if not fahrenheit or channel == 4:
        return stored
    return f32(f32(stored * f32(1.8)) + 32.0)


def expected_tenths(stored, channel, fahrenheit):
    """The value in whole tenths, or None where no value is written."""
    if channel == 3 and stored <= -1000.0:
        return None
    v = shown(stored, channel, fahrenheit)
    if not math.isfinite(v):
        return None
    if channel == 3:
        return math.trunc(f32(v * 10.0))  # K/IR: cut toward zero
    return round(v * 10.0)  # exact in a double; ties to even


NUMBER = re.compile(r'^-?\d+\.\d$')
KEYS = ['time', 'air', 'wet_bulb', 'dew_point', 'k_ir', 'rh', 'unit', 'sample']
faults = []


def fault(text):
    faults.append(text)


def check_value(row, channel, text_or_number, expected):
    if expected is None:
        if text_or_number not in ('', None):
            fault('sample %d channel %d: %r where no value is' % (row, channel, text_or_number))
        return
    text = text_or_number if isinstance(text_or_number, str) else repr(text_or_number)
    if isinstance(text_or_number, str) and not NUMBER.match(text):
        fault('sample %d channel %d: %r is no decimal with one place' % (row, channel, text))
        return
    if text.startswith('-0.0') and float(text) == 0:
        fault('sample %d channel %d: negative zero %r' % (row, channel, text))
    if round(float(text_or_number) * 10) != expected:
        fault('sample %d channel %d: %r, expected %d tenths' % (row, channel, text, expected))


def offset_text(seconds):
    sign = '-' if seconds < 0 else '+'
    s = abs(seconds)
    text = '%s%02d:%02d' % (sign, s // 3600, s // 60 % 60)
    return text + (':%02d' % (s % 60) if s % 60 else '')


def main():
    asmdat, export, fmt, zone = sys.argv[1:5]
    run = read_asmdat(asmdat)
    utc = zone == 'utc'
    y, mo, d, h, mi, s = run['start']
    start = int(time.mktime((y, mo, d, h, mi, s, 0, 0, -1)))
    unit = 'F' if run['fahrenheit'] else 'C'

    raw = open(export, 'rb').read()
    if raw.startswith(b'\xef\xbb\xbf'):
        fault('a byte-order mark')
    raw.decode('utf-8')  # UTF-8 throughout

    if fmt == 'csv':
        if raw and not raw.endswith(b'\r\n'):
            fault('the last line has no CRLF')
        if b'\n' in raw.replace(b'\r\n', b''):
            fault('a line end other than CRLF')
        with open(export, newline='', encoding='utf-8') as f:
            rows = list(csv.reader(f))
        header = ['time', 'utc_offset'] + [name + '_' + unit for name in
                                            ('air', 'wet_bulb', 'dew_point', 'k_ir')] + ['rh_percent']
        if rows[0] != header:
            fault('header %r' % rows[0])
        rows = rows[1:]
    else:
        if raw and not raw.endswith(b'\n') or b'\r' in raw:
            fault('lines do not end with a bare LF')
        rows = []
        for number, line in enumerate(raw.decode('utf-8').splitlines()):
            obj = json.loads(line)
            if list(obj.keys()) != KEYS:
                fault('line %d keys %r' % (number + 1, list(obj.keys())))
            for token in re.findall(r'(?<=:)-0\.0(?=[,}])', line):
                fault('line %d negative zero' % (number + 1))
            rows.append(obj)

    if len(rows) != run['count']:
        fault('%d samples, the data file has %d' % (len(rows), run['count']))
    for i, row in enumerate(rows[:run['count']]):
        moment = start + i * run['interval']
        if fmt == 'csv':
            when, offset, values = row[0], row[1], row[2:]
            if len(row) != 7:
                fault('sample %d: %d fields' % (i, len(row)))
                continue
            naive = datetime.datetime.fromisoformat(when)
            if naive.tzinfo is not None:
                fault('sample %d: time %r has an offset' % (i, when))
            aware = datetime.datetime.fromisoformat(when + offset)
        else:
            if row['sample'] != i + 1 or row['unit'] != unit:
                fault('sample %d: numbered %r, unit %r' % (i, row['sample'], row['unit']))
            aware = datetime.datetime.fromisoformat(row['time'])
            if utc and not row['time'].endswith('Z'):
                fault('sample %d: %r does not end in Z' % (i, row['time']))
            naive = aware.replace(tzinfo=None)
            offset = offset_text(int(aware.utcoffset().total_seconds())) if aware.tzinfo else ''
            values = [row[k] for k in KEYS[1:6]]
        if aware.timestamp() != moment:
            fault('sample %d: %s is %s, expected %s' % (i, row[0] if fmt == 'csv' else row['time'],
                                                       aware.timestamp(), moment))
        if utc:
            expected_naive = datetime.datetime.fromtimestamp(moment, datetime.timezone.utc).replace(tzinfo=None)
            expected_offset = '+00:00'
        else:
            expected_naive = datetime.datetime.fromtimestamp(moment)
            expected_offset = offset_text(time.localtime(moment).tm_gmtoff)
        if naive != expected_naive or offset != expected_offset:
            fault('sample %d: %s %s, expected %s %s' % (i, naive, offset, expected_naive, expected_offset))
        for c in range(5):
            check_value(i, c, values[c], expected_tenths(run['values'][i][c], c, run['fahrenheit']))

    if faults:
        print('\n'.join(faults[:40]))
        sys.exit(1)
    print('ok %d' % len(rows))


main()
